#pragma once
// Wave output: a device that plays a queue of caller-owned PCM buffers in
// order, hands each back marked done when it has been used up, and counts the
// sample frames played since it was opened or reset. The interface is shaped
// like the classic multimedia wave-out calls, with their result codes, so the
// engine's device logic can run unchanged over SDL audio or a stepped fake.
//
// Threads: every call comes from the engine's thread. The real device plays
// on SDL's audio thread, which is the only place where a header's flags
// change behind the engine's back (WHDR_DONE set, WHDR_INQUEUE cleared) and
// where the completion callback runs.
#include <atomic>
#include <cstdint>

namespace host {

// Result codes.
constexpr int MMSYSERR_NOERROR = 0;
constexpr int MMSYSERR_ERROR = 1;
constexpr int MMSYSERR_BADDEVICEID = 2;
constexpr int MMSYSERR_ALLOCATED = 4;    // another program holds the device
constexpr int MMSYSERR_INVALHANDLE = 5;
constexpr int MMSYSERR_NODRIVER = 6;
constexpr int MMSYSERR_INVALPARAM = 11;
constexpr int WAVERR_BADFORMAT = 32;     // the format is refused
constexpr int WAVERR_STILLPLAYING = 33;
constexpr int WAVERR_UNPREPARED = 34;

// The device id that names the system's default output.
constexpr int WAVE_MAPPER = -1;

// Capability bits of WaveOutCaps::formats: rate 1/2/4 (11,025, 22,050,
// 44,100 Hz), mono or stereo, 8 or 16 bits.
constexpr uint32_t WAVE_FORMAT_1M08 = 0x001;
constexpr uint32_t WAVE_FORMAT_1S08 = 0x002;
constexpr uint32_t WAVE_FORMAT_1M16 = 0x004;
constexpr uint32_t WAVE_FORMAT_1S16 = 0x008;
constexpr uint32_t WAVE_FORMAT_2M08 = 0x010;
constexpr uint32_t WAVE_FORMAT_2S08 = 0x020;
constexpr uint32_t WAVE_FORMAT_2M16 = 0x040;
constexpr uint32_t WAVE_FORMAT_2S16 = 0x080;
constexpr uint32_t WAVE_FORMAT_4M08 = 0x100;
constexpr uint32_t WAVE_FORMAT_4S08 = 0x200;
constexpr uint32_t WAVE_FORMAT_4M16 = 0x400;
constexpr uint32_t WAVE_FORMAT_4S16 = 0x800;

// Bits of WaveOutCaps::support.
constexpr uint32_t WAVECAPS_PITCH = 0x01;
constexpr uint32_t WAVECAPS_PLAYBACKRATE = 0x02;
constexpr uint32_t WAVECAPS_VOLUME = 0x04;
constexpr uint32_t WAVECAPS_LRVOLUME = 0x08;
constexpr uint32_t WAVECAPS_SYNC = 0x10;            // a blocking driver
constexpr uint32_t WAVECAPS_SAMPLEACCURATE = 0x20;  // positions are exact

// Bits of WaveHeader::flags.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;

// The message the completion callback receives when a buffer is done.
constexpr uint32_t WOM_DONE = 0x3BD;

struct WaveOutCaps {
    char name[32] = {};
    uint32_t formats = 0;  // WAVE_FORMAT_* bits
    uint16_t channels = 0;
    uint32_t support = 0;  // WAVECAPS_* bits
};

// PCM only: 8-bit samples are unsigned, 16-bit ones signed little-endian.
struct WaveFormat {
    uint16_t channels = 2;
    uint32_t rate = 22050;
    uint16_t bits = 16;

    uint16_t block_align() const { return static_cast<uint16_t>(bits * channels / 8); }
    uint32_t bytes_per_second() const { return rate * block_align(); }
};

struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t length = 0;              // bytes
    std::atomic<uint32_t> flags{0};   // WHDR_* bits
    uint32_t user = 0;                // the caller's word
};

// Called on the playing thread with the instance given to open and WOM_DONE.
using WaveOutCallback = void (*)(void* instance, uint32_t message);

// One open output.
class WaveOutDevice {
public:
    virtual ~WaveOutDevice() = default;
    virtual int prepare(WaveHeader* header) = 0;
    virtual int unprepare(WaveHeader* header) = 0;
    // Queues a prepared header behind the others.
    virtual int write(WaveHeader* header) = 0;
    // Stops, marks every queued header done and sets the position back to 0.
    virtual int reset() = 0;
    virtual int pause() = 0;
    virtual int restart() = 0;
    // Sample frames played since open or the last reset.
    virtual int position(uint32_t* frames) = 0;
};

// The wave-output service: its devices and how to open them.
class WaveOut {
public:
    virtual ~WaveOut() = default;
    virtual int device_count() = 0;
    virtual int get_caps(int device, WaveOutCaps* caps) = 0;
    // Whether the device would open with this format, without opening it.
    virtual int query(int device, const WaveFormat& format) = 0;
    // Opens the device; on success *out is the open device, playing (not paused).
    virtual int open(int device, const WaveFormat& format, WaveOutCallback callback, void* instance,
                     WaveOutDevice** out) = 0;
    // Closes a device that open returned; queued headers are marked done first.
    virtual int close(WaveOutDevice* device) = 0;
};

// The service in use: SDL audio unless a test set another.
WaveOut& wave_out();
// Install a service (null restores SDL's); returns the previous one.
WaveOut* set_wave_out(WaveOut* service);

// Installs a service for the lifetime of the guard.
class ScopedWaveOut {
public:
    explicit ScopedWaveOut(WaveOut* w) : previous_(set_wave_out(w)) {}
    ~ScopedWaveOut() { set_wave_out(previous_); }
    ScopedWaveOut(const ScopedWaveOut&) = delete;
    ScopedWaveOut& operator=(const ScopedWaveOut&) = delete;

private:
    WaveOut* previous_;
};

// The formats a device of these capability bits can play, for a format query:
// true when a row with the format's channels, bits and rate is among them.
bool wave_format_in_caps(const WaveFormat& format, uint32_t formats);

} // namespace host
