#pragma once
// MixEcho: a multi-tap delay line with feedback, run as a filter over a
// mixing buffer. Gains are scaled by 256; delays are in frames at the
// mixing rate. Every tap reads the frame written `delay` frames earlier.
#include "sound/mixing_buffer.h"

#include <cstdint>

// Longest tap delay, in frames (the delay line takes 8 bytes a frame).
constexpr int32_t MIX_ECHO_MAX_DELAY = 1 << 22;
// Shortest tap delay, in frames.
constexpr int32_t MIX_ECHO_MIN_DELAY = 16;
// Bound of the values kept in the delay line: feedback of 1.0 or more would
// otherwise let them grow for ever.
constexpr int32_t MIX_ECHO_LIMIT = 1 << 30;

class MixEcho final : public MixFilter {
public:
    explicit MixEcho(int32_t rate);
    ~MixEcho() override;

    // Delay in seconds, gain as a factor, damping (0 = none); swap crosses the
    // tap's sides. 0 once the delay line is built or when it cannot be allocated.
    int add_tap(float delay, float gain, float damping, int swap);
    // Dry, wet and feedback factors; needs a tap and no delay line yet.
    int build(float dry, float wet, float feedback);
    void process(int32_t* acc, int32_t frames) override;

    struct Tap {
        Tap* next = nullptr;
        int32_t delay = 0;       // frames
        int32_t gain = 0;        // x 256
        int32_t damping = 0;     // 0..256; 0 = none
        int32_t swap = 0;
        int32_t* read = nullptr; // into the delay line
        int32_t state_l = 0;
        int32_t state_r = 0;
    };

    const Tap* taps() const { return taps_; }
    int32_t delay_length() const { return length_; }
    int32_t dry() const { return dry_; }
    int32_t wet() const { return wet_; }
    int32_t feedback() const { return feedback_; }

private:
    int32_t* delay_ = nullptr;  // frames of (left, right)
    int32_t length_ = 0;        // frames
    int32_t* write_ = nullptr;
    int32_t* end_ = nullptr;
    Tap* taps_ = nullptr;
    int32_t dry_ = 0;
    int32_t wet_ = 0;
    int32_t feedback_ = 0;
    int32_t rate_;
};
