#pragma once
// Mixer: the sound device that mixes in software. Up to 256 channels each
// resample one sample into 32-bit stereo accumulators; channels mix into the
// main mixing buffer or into extra buffers with filters that feed it; the
// main buffer is converted to the output format. Output is cut at the timer
// period so that the timers tick on exact sample positions. The output
// devices (SDWave, SDWaveFile) derive from it and only move its output.
#include "sound/mix_channel.h"
#include "sound/mixing_buffer.h"
#include "sound/sound_device.h"

#include <algorithm>
#include <cstdint>

class MixSample;

// Frames of one mixing pass, and of the main buffer.
constexpr int32_t MIX_BUFSIZE = 4096;
constexpr int32_t MIX_MIN_RATE = 256;
constexpr int32_t MIX_MAX_RATE = 262144;

class Mixer : public SoundDevice {
public:
    Mixer() = default;
    ~Mixer() override;

    int stream_alloc_buffers(int slot) override;
    void stream_free_buffers(int slot) override;
    void set_timer_period(float seconds) override;
    bool sample_create(SDSample* sample) override;
    int sample_remove(SDSample* sample) override;

    int32_t channel_choose(float priority) override;
    int channel_hold(int32_t channel, int32_t count) override;
    bool channel_valid(int32_t channel) override;
    int channel_start(int32_t channel, SDSample* sample, float priority, float volume_priority) override;
    int channel_stop(int32_t channel) override;
    int channel_finished(int32_t channel) override;
    int channel_set_position(int32_t channel, int32_t position, int direction) override;
    int channel_set_loop(int32_t channel, uint32_t loop_flags, int32_t start, int32_t end) override;
    bool channel_set_priority(int32_t channel, float priority, float volume_priority) override;
    int channel_set_frequency(int32_t channel, int32_t hz) override;
    int channel_set_volume(int32_t channel, float volume) override;
    int channel_set_pan(int32_t channel, float pan) override;
    int sample_ready(SDSample* sample) override;
    int get_settings(SDSettings* settings) override;
    // A hive holding this mixer's 3-D renderer; null when either cannot be made.
    S3DHive* create_3d_hive() override;
    MixingBuffer* buffer_create() override;
    void buffer_delete(MixingBuffer* buffer) override;
    MixingBuffer* main_buffer() override;
    int channel_route(int32_t channel, MixingBuffer* buffer) override;

    using SoundDevice::init;
    // Builds tables, buffers and channels from the stored settings; 1 or 0.
    int init();
    // Frees everything init built.
    void release();
    // Fills `bytes` of output (whole frames) and returns the bytes produced;
    // a null buffer only feeds the streams.
    int32_t render(void* buffer, int32_t bytes);

    // For tests and statistics.
    const MixChannel& channel(int index) const { return channels_[index]; }
    int32_t channel_count() const { return channel_count_; }
    // Whole frames of the current timer period: the exact period's floor or
    // ceiling, so that ticks fall on whole frames and keep the exact pace.
    int32_t timer_period_frames() const { return timer_period_; }
    // Frames mixed before the next tick; a render of at most this many ends on it.
    int32_t frames_to_tick() const { return std::max(timer_period_ - since_tick_, 0); }
    int frame_shift() const { return frame_shift_; }
    const int32_t* volume_table() const { return volume_table_; }
    MixSample* mix_sample(const SDSample* sample) const;

protected:
    void store_settings(const SDSettings& settings) { settings_ = settings; }

private:
    void run_due_ticks();
    void set_exact_period(uint64_t frames_32_32, float seconds);
    void mix(uint8_t* out, int32_t frames);
    void mix_channel(MixChannel& ch, int32_t* acc, int32_t frames);
    void stream_update(int slot);
    MixChannel* lookup(int32_t channel);
    void normalise(MixChannel& ch, int64_t position);
    void route(MixChannel& ch, MixingBuffer* to);

    int32_t* volume_table_ = nullptr;
    MixingBuffer main_;
    MixingBuffer* buffers_ = nullptr;  // extra buffers, newest first
    MixChannel* channels_ = nullptr;   // MIX_CHANNELS records
    int32_t channel_count_ = 0;
    uint64_t period_exact_ = 0;        // frames, 32.32
    uint32_t period_carry_ = 0;        // fraction of a frame carried into the current period, 0.32
    int32_t timer_period_ = 0;         // frames of the current period
    int32_t since_tick_ = 0;           // frames
    float tick_seconds_ = 0.0f;        // handed to the timers at each tick
    int frame_shift_ = 0;
    bool wrapped_[SDSTREAM_COUNT] = {};
};
