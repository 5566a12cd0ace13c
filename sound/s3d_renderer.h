#pragma once
// The two sides of 3-D sound that the hive drives: a renderer places the
// sources of its list around a listener; a source is one sound in space. The
// renderer computes each source's priority every frame (gain x volume
// priority + base priority), and the hive orders the list by it.
#include "core/matrix.h"

#include <cstdint>

struct SDSample;

// Source flags given at creation.
constexpr uint32_t S3DF_LISTENER_RELATIVE = 0x1; // no 3-D placement
constexpr uint32_t S3DF_NO_REVERB = 0x2;         // no environment send

class S3DSource {
public:
    S3DSource() = default;
    S3DSource(const S3DSource&) = delete;
    S3DSource& operator=(const S3DSource&) = delete;
    virtual ~S3DSource() = default;
    // Removed by the renderer's next update.
    virtual void stop() = 0;
    // Plays to the end of its sound, then is removed.
    virtual void release() = 0;
    virtual void set_position(float x, float y, float z) = 0;
    virtual void set_velocity(float x, float y, float z) = 0;
    virtual void set_distances(float minimum, float maximum) = 0;
    virtual void set_volume(float volume) = 0;
    // Factor of the sample's own rate.
    virtual void set_frequency(float factor) = 0;

    S3DSource* next = nullptr;
    float priority = 0.0f;
    float base_priority = 0.0f;
    float volume_priority = 0.0f;
};

class S3DRenderer {
public:
    S3DRenderer() = default;
    S3DRenderer(const S3DRenderer&) = delete;
    S3DRenderer& operator=(const S3DRenderer&) = delete;
    virtual ~S3DRenderer() = default;
    // Gain, pan and priority of every source.
    virtual void begin_frame(float separation) = 0;
    // Channels, levels and removals; prints a line per source while *lines > 0.
    virtual void update(float priority_scale, double now, int32_t* lines) = 0;
    // 1 accepted, 0 refused.
    virtual int set_environment(int32_t n) = 0;
    // World to listener coordinates, x to the right.
    virtual void set_listener(const Matrix& listener) = 0;
    virtual void set_listener_velocity(float x, float y, float z) = 0;
    // A new source, not yet in the list; null when it cannot be made.
    virtual S3DSource* create_source(SDSample* sample, float rate, uint32_t flags) = 0;

    S3DSource* sources = nullptr;  // the renderer's list
    S3DRenderer* next = nullptr;   // link in the hive's list
};
