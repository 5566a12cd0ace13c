#pragma once
// The part of a wave-output device that both the SDL device and the stepped
// fake share: the queue of written headers and how the player consumes it.
// consume() runs where the device plays (SDL's audio thread, or the test's
// hand); every other operation runs on the engine's thread and takes the
// device's lock around any change of the queue.
#include "host/host_wave_out.h"

#include <deque>

namespace host {

class WaveQueue : public WaveOutDevice {
public:
    WaveQueue(const WaveFormat& format, WaveOutCallback callback, void* instance);

    int prepare(WaveHeader* header) override;
    int unprepare(WaveHeader* header) override;
    int write(WaveHeader* header) override;
    int reset() override;
    int position(uint32_t* frames) override;

    // Copies `bytes` of output from the oldest header onwards, continuing a
    // header where the last call stopped; a header used up is marked done and
    // reported to the callback. Silence fills whatever the queue cannot.
    // Call with the lock held. Returns the bytes taken from headers.
    uint32_t consume(uint8_t* out, uint32_t bytes);

    // Marks every queued header done and empties the queue; the lock is taken here.
    void drain();

    const WaveFormat& format() const { return format_; }
    uint8_t silence_byte() const { return format_.bits == 8 ? 0x80 : 0x00; }

protected:
    virtual void lock() = 0;
    virtual void unlock() = 0;

private:
    void drain_locked();

    WaveFormat format_;
    WaveOutCallback callback_;
    void* instance_;
    std::deque<WaveHeader*> queue_;
    uint32_t offset_ = 0;               // bytes of the oldest header already played
    std::atomic<uint64_t> played_{0};   // bytes taken from headers since open or reset
};

} // namespace host
