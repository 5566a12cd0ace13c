#pragma once
// S3DMixer: the software mixer's 3-D renderer. Each frame it turns a
// source's place into a gain (full up to the minimum distance, falling
// linearly to nothing at the maximum) and a pan (separation x the sideways
// share of the direction), gives channels to the sources by priority, keeps
// their levels and rates current, restarts a source that lost its channel
// where it would now be playing, and sends sources through a shared reverb
// buffer whose echo realises the environment.
#include "sound/s3d_renderer.h"

class Mixer;
class MixingBuffer;
class MixEcho;

// Play modes, bits 16-19 of a source's flags.
constexpr uint32_t S3DM_MODE_MASK = 0xF0000;
constexpr uint32_t S3DM_ONCE = 0x10000;
constexpr uint32_t S3DM_LOOPED = 0x20000;
constexpr uint32_t S3DM_REMOVE = 0x100000;   // removal pending
constexpr uint32_t S3DM_RELEASED = 0x200000; // stop requested: play out

constexpr int32_t S3D_ENVIRONMENTS = 4; // 0 none, 1..3 presets

class S3DMixSource final : public S3DSource {
public:
    ~S3DMixSource() override;
    void stop() override;
    void release() override;
    void set_position(float x, float y, float z) override;
    void set_velocity(float x, float y, float z) override;
    void set_distances(float minimum, float maximum) override;
    void set_volume(float volume) override;
    void set_frequency(float factor) override;

    SDSample* sample = nullptr;
    double start_time = -1.0;   // engine seconds; -1 until first mixed
    uint32_t flags = 0;         // S3DF_* | S3DM_*
    float position[3] = {};
    float velocity[3] = {};
    float min_distance = 0.0f;
    float max_distance = 0.0f;
    float volume = 0.0f;
    float frequency = 1.0f;
    float rate = 0.0f;          // the sample's own, Hz
    int32_t channel = 0;        // 0 = none
    float gain = 0.0f;
    float pan = 0.0f;
};

class S3DMixer final : public S3DRenderer {
public:
    S3DMixer() = default;
    ~S3DMixer() override;

    void attach(Mixer* mixer);
    void begin_frame(float separation) override;
    void update(float priority_scale, double now, int32_t* lines) override;
    int set_environment(int32_t n) override;
    void set_listener(const Matrix& listener) override;
    void set_listener_velocity(float x, float y, float z) override;
    S3DSource* create_source(SDSample* sample, float rate, uint32_t flags) override;
    // Stops the channel of an unlinked source and destroys it.
    void remove_source(S3DMixSource* s);

    // For tests.
    MixingBuffer* reverb() const { return reverb_; }
    const MixEcho* echo() const { return echo_; }

private:
    void remove_environment();
    bool build_environment(int32_t n);
    // Gives the source a channel and starts it at the offset where it would now be.
    bool restart(S3DMixSource& s, float priority_scale, double now);

    Mixer* mixer_ = nullptr;
    MixingBuffer* reverb_ = nullptr;
    MixEcho* echo_ = nullptr;
    Matrix listener_{};
    float listener_velocity_[3] = {};
};
