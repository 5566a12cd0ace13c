#pragma once
// SoundDevice: the sound output device the rest of the sound system talks to.
// It keeps the settings it was opened with, eight stream slots that feed ring
// buffers from a SoundDeviceClient, and the timers whose ticks drive the song
// players. Samples, channels and buffers are the software mixer's (Mixer);
// the concrete devices move the mixer's output to a sink.
#include "sound/sound_device_client.h"

#include <cstdint>

class MixingBuffer;
class S3DHive;

// Format flags of the output.
constexpr uint32_t SDF_STEREO = 0x1;
constexpr uint32_t SDF_16BIT = 0x2;
constexpr uint32_t SDF_UNSIGNED = 0x4;
constexpr uint32_t SDF_INTERPOLATE = 0x8;
constexpr uint32_t SDF_DEFAULT = 0xFEDCBA98;   // "the device's default"

// Mode bits of the settings.
constexpr uint32_t SDM_TRACK_POSITION = 0x1;   // wave output only
constexpr uint32_t SDM_RESERVED = 0x2;         // accepted, read by no device

// Flags of a device sample descriptor.
constexpr uint8_t SDSF_16BIT = 0x01;
constexpr uint8_t SDSF_UNSIGNED = 0x02;
constexpr uint8_t SDSF_LOOPED = 0x04;
constexpr uint8_t SDSF_BIDI = 0x08;
constexpr uint8_t SDSF_NO_INTERPOLATION = 0x10;
constexpr uint8_t SDSF_KEEP = 0x80;

constexpr int SDSTREAM_COUNT = 8;
constexpr int SDSTREAM_CHANNELS = 4;
constexpr uint32_t SDSTREAM_MAGIC = 0x53544D00; // "STM" in the top three bytes
constexpr uint32_t SDSTREAM_MAGIC_MASK = 0xFFFFFF00;

// Highest timer rate accepted, in Hz: far above any player's, low enough that
// the float periods stay well above the rounding step of the accumulators.
constexpr float SD_MAX_TIMER_RATE = 65536.0f;

// Sample positions are 32-bit with an 11-bit fraction: a sample and its guard
// samples must stay below 2^20 frames.
constexpr int32_t SD_MAX_SAMPLE_LENGTH = (1 << 20) - 64;
// A stream ring holds at least the 32 bytes copied behind its end.
constexpr int32_t SD_MIN_STREAM_LENGTH = 32;

// The 13 words a device is opened with.
struct SDSettings {
    int32_t channels = 0;          // 0 = the device's default
    int32_t pairs[6] = {};         // copied, never read
    int32_t rate = 0;              // Hz; 0 = the device's default
    uint32_t flags = SDF_DEFAULT;  // SDF_* bits, or SDF_DEFAULT
    float buffer_length = 0.0f;    // seconds; 0 = 0.25
    float volume = 0.0f;           // master volume; below 0.0001 counts as 1.0
    int32_t spare = 0;             // copied, never read
    uint32_t mode = 0;             // SDM_* bits
};
static_assert(sizeof(SDSettings) == 13 * 4);

// The 14 words of a device's capabilities.
struct SDCaps {
    int32_t pairs[6] = {};
    int32_t max_channels = 256;
    int32_t default_channels = 32;
    uint32_t supported_flags = 3;
    uint32_t default_flags = 11;
    int32_t max_rate = 44100;
    int32_t default_rate = 22050;
    int32_t spare = 0;
    uint32_t modes = 0;

    // What a device without any output reports.
    static SDCaps none();
};
static_assert(sizeof(SDCaps) == 14 * 4);

// A sample as the device sees it; lengths and loop points in samples.
struct SDSample {
    void* sdi = nullptr;                 // the device's record of the sample
    uintptr_t owner = 0;                 // the owner's word
    SoundDeviceClient* source = nullptr; // reads the data when the device wants it
    int32_t loop_start = 0;
    int32_t loop_end = 0;                // = length when the sample has no loop
    int32_t length = 0;
    uint8_t flags = 0;                   // SDSF_* bits
};

struct SDStreamEntry {
    void* data = nullptr;       // the channel's ring buffer
    int32_t channel = 0;        // its channel handle
    SDSample* sample = nullptr; // the ring's sample
};

struct SDStream {
    SoundDeviceClient* source = nullptr;
    int32_t count = 0;          // channels 1..4; 0 = slot free
    int32_t rate = 0;
    int32_t bits16 = 0;
    int32_t is_unsigned = 0;
    int32_t length = 0;         // ring length in samples
    int32_t play_pos = 0;       // samples
    int32_t last_pos = 0;       // fill position, samples
    int32_t primed = 0;         // non-zero once the source first filled the new ring
    SDStreamEntry entry[SDSTREAM_CHANNELS];
};

struct SDTimer {
    SDTimer* next = nullptr;
    SoundDeviceClient* owner = nullptr;
    float period = 0.0f;        // seconds
    float accumulated = 0.0f;   // seconds
};

class SoundDevice {
public:
    SoundDevice() = default;
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // Poll: move output to the sink, watch for stalls.
    virtual void update() = 0;
    virtual int stream_alloc_buffers(int slot) = 0;
    virtual void stream_free_buffers(int slot) = 0;
    // The shortest timer period in seconds; 0 when there is no timer.
    virtual void set_timer_period(float seconds) = 0;
    virtual bool sample_create(SDSample* sample) = 0;
    virtual int sample_remove(SDSample* sample) = 0;
    // Frees what the timer list still holds.
    virtual ~SoundDevice();

    // Channels are named by handles, (serial << 8) | index; 0 names none.
    virtual int32_t channel_choose(float priority) = 0;
    virtual int channel_hold(int32_t channel, int32_t count) = 0;
    virtual bool channel_valid(int32_t channel) = 0;
    virtual int channel_start(int32_t channel, SDSample* sample, float priority, float volume_priority) = 0;
    virtual int channel_stop(int32_t channel) = 0;
    virtual int channel_finished(int32_t channel) = 0;
    // direction 1 forward, 2 backward, anything else keeps it.
    virtual int channel_set_position(int32_t channel, int32_t position, int direction) = 0;
    // start/end -1: the sample's own loop point.
    virtual int channel_set_loop(int32_t channel, uint32_t loop_flags, int32_t start, int32_t end) = 0;
    virtual bool channel_set_priority(int32_t channel, float priority, float volume_priority) = 0;
    virtual int channel_set_frequency(int32_t channel, int32_t hz) = 0;
    virtual int channel_set_volume(int32_t channel, float volume) = 0;
    // -1 left .. 1 right; SD_UNPANNED plays both sides at full level.
    virtual int channel_set_pan(int32_t channel, float pan) = 0;

    // A stream handle (SDSTREAM_MAGIC | slot) or -1. handles, when given,
    // receives one channel handle per stream channel.
    virtual int32_t stream_create(SoundDeviceClient* source, int32_t length, int32_t rate, int bits16,
                                  int is_unsigned, int count, int32_t* handles);
    virtual int stream_close(int32_t stream);
    virtual int sample_ready(SDSample* sample) = 0;

    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void resume() = 0;
    // Copies recent output around the playing position; 0 when the device cannot.
    virtual int peek_output(void* buffer, int32_t frames);
    // Fills caps when given; 0 when the device is not usable.
    virtual int get_caps(SDCaps* caps) = 0;
    // Settles the defaults and the output format in settings; 1 or 0.
    virtual int configure(SDSettings* settings) = 0;
    virtual int init(const SDSettings* settings) = 0;
    virtual int get_settings(SDSettings* settings) = 0;
    virtual void shutdown() = 0;
    virtual S3DHive* create_3d_hive() = 0;
    virtual MixingBuffer* buffer_create();
    virtual void buffer_delete(MixingBuffer* buffer);
    virtual MixingBuffer* main_buffer();
    virtual int channel_route(int32_t channel, MixingBuffer* buffer);

    // Timers: owner's timer_tick runs `rate` times a second of mixed output.
    // A rate that is not a positive finite number up to SD_MAX_TIMER_RATE is refused (0).
    int timer_add(SoundDeviceClient* owner, float rate);
    int timer_set_rate(SoundDeviceClient* owner, float rate);
    void timer_remove(SoundDeviceClient* owner);
    void timer_dispatch(float seconds);

    bool device_sample_create(SDSample* sample);
    int device_sample_free(SDSample* sample);

    void stream_feed(int slot);
    // The slot whose channels include the handle (or the descriptor), or -1;
    // the entry's index through `entry` when given.
    int stream_find_channel(int32_t channel, int* entry = nullptr) const;
    int stream_find_sample(const SDSample* sample, int* entry = nullptr) const;

    const SDSettings& settings() const { return settings_; }
    const SDStream& stream(int slot) const { return streams_[slot]; }
    const SDTimer* timers() const { return timers_; }
    // Seconds of engine time spent producing output.
    float mix_time() const { return mix_time_; }

protected:
    void update_timer_period();

    SDSettings settings_;
    float mix_time_ = 0.0f;
    SDStream streams_[SDSTREAM_COUNT];
    SDTimer* timers_ = nullptr;

private:
    bool dispatching_ = false;
};

// Pan value that plays a channel at full level on both sides.
constexpr float SD_UNPANNED = 65536.0f;
