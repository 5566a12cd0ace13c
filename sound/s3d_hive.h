#pragma once
// S3DHive: the 3-D renderers of the opened device (normally the mixer's
// one). It makes sources from sound files through the effects sample cache,
// hands the listener, the stereo separation and the reverb environment to
// its renderers, and each frame orders every renderer's sources by priority
// before the renderer updates them.
#include "core/matrix.h"

#include <cstdint>

class S3DRenderer;
class S3DSource;
class SampleCache;

constexpr float S3D_DEFAULT_PRIORITY_SCALE = 8.0f;
constexpr float S3D_DEFAULT_SEPARATION = 0.3f;

class S3DHive {
public:
    S3DHive() = default;
    ~S3DHive();
    S3DHive(const S3DHive&) = delete;
    S3DHive& operator=(const S3DHive&) = delete;

    void attach_cache(SampleCache* cache);
    // Links the renderer first and gives it no environment, the identity
    // listener and no listener velocity; 1.
    int add_renderer(S3DRenderer* renderer);
    void set_priority_scale(float k) { priority_scale_ = k; }
    void set_separation(float s) { separation_ = s; }
    // 1 when every renderer took it (all are asked); the current value answers 1 at once.
    int set_environment(int32_t n);
    void set_listener(const Matrix& listener);
    void set_listener_velocity(float x, float y, float z);
    // Per frame: priorities, order, channels; lines > 1 prints the header
    // and at most lines - 1 source lines.
    void frame(double now, int32_t debug_lines);
    // A source for the sound file, at the origin with the default distances,
    // linked into its renderer's list; null when it cannot be made.
    S3DSource* create_source(const char* name, uint32_t flags);

    SampleCache* cache() const { return cache_; }
    S3DRenderer* renderers() const { return renderers_; }
    float separation() const { return separation_; }
    float priority_scale() const { return priority_scale_; }
    int32_t environment() const { return environment_; }

    // Orders the list by ascending priority, equal priorities kept in order.
    static void sort_sources(S3DSource** list);

private:
    S3DRenderer* renderers_ = nullptr; // newest first
    SampleCache* cache_ = nullptr;
    float priority_scale_ = S3D_DEFAULT_PRIORITY_SCALE;
    float separation_ = S3D_DEFAULT_SEPARATION;
    int32_t environment_ = 0;
};

// What every new source starts with.
constexpr float S3D_DEFAULT_MIN_DISTANCE = 16.0f;
constexpr float S3D_DEFAULT_MAX_DISTANCE = 1024.0f;
constexpr float S3D_DEFAULT_PRIORITY = 0.5f;
