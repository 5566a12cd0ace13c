#pragma once
// A wave-output service for tests: nothing plays until the test steps the
// open device by a number of frames, so stalls, re-opening, lost buffers and
// wrong positions can be staged exactly. Everything it played is kept.
#include "host/host_wave_out.h"
#include "host/host_wave_queue.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace host {

class FakeWaveDevice final : public WaveQueue {
public:
    FakeWaveDevice(const WaveFormat& format, WaveOutCallback callback, void* instance)
        : WaveQueue(format, callback, instance)
    {
    }

    int pause() override;
    int restart() override;
    int reset() override;
    int position(uint32_t* frames) override;

    // Plays frames (nothing while paused); returns the frames taken from buffers.
    uint32_t step(uint32_t frames);

    bool paused = false;
    int resets = 0;
    // A driver that never hands buffers back after a reset.
    bool reset_keeps_buffers = false;
    // Added to every position answer, to stage a driver whose count jumps.
    int32_t position_offset = 0;
    std::vector<uint8_t> played; // every byte stepped out, silence included

protected:
    void lock() override {}
    void unlock() override {}
};

class FakeWaveOut final : public WaveOut {
public:
    int device_count() override { return devices; }
    int get_caps(int device, WaveOutCaps* out) override;
    int query(int device, const WaveFormat& format) override;
    int open(int device, const WaveFormat& format, WaveOutCallback callback, void* instance,
             WaveOutDevice** out) override;
    int close(WaveOutDevice* device) override;

    // The open device, or null.
    FakeWaveDevice* device() const { return open_; }

    int devices = 1;
    WaveOutCaps caps = default_caps();
    int caps_result = MMSYSERR_NOERROR;
    // Decides each query and open; by default a format among caps.formats plays.
    std::function<int(const WaveFormat&)> accept;
    // The next open fails with this code when not 0 (then it is cleared when once_open_result).
    int open_result = MMSYSERR_NOERROR;
    bool once_open_result = false;
    int opens = 0;
    int closes = 0;
    int last_device = -2;
    WaveFormat last_format;

    static WaveOutCaps default_caps();

private:
    FakeWaveDevice* open_ = nullptr;
};

} // namespace host
