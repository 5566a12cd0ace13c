#include "sound/mix_echo.h"

#include "core/kheap.h"
#include "core/numerics.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// Factors beyond this are taken as this, so their scaled values stay far inside 32 bits.
constexpr double MAX_FACTOR = 256.0;

int32_t scaled(float factor)
{
    double f = factor;
    if (std::isnan(f)) {
        f = 0.0;
    }
    f = f < -MAX_FACTOR ? -MAX_FACTOR : (f > MAX_FACTOR ? MAX_FACTOR : f);
    return float_to_int_trunc(f * 256.0);
}

int32_t bounded(int64_t v)
{
    return static_cast<int32_t>(v < -MIX_ECHO_LIMIT ? -MIX_ECHO_LIMIT : (v > MIX_ECHO_LIMIT ? MIX_ECHO_LIMIT : v));
}

int32_t saturated(int64_t v)
{
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
}

} // namespace

MixEcho::MixEcho(int32_t rate) : rate_(rate) {}

MixEcho::~MixEcho()
{
    while (taps_ != nullptr) {
        Tap* const t = taps_;
        taps_ = t->next;
        delete t;
    }
    if (delay_ != nullptr) {
        kheap_release(delay_);
    }
}

int MixEcho::add_tap(float delay, float gain, float damping, int swap)
{
    if (delay_ != nullptr) {
        return 0;
    }
    const double frames = static_cast<double>(rate_) * static_cast<double>(delay);
    if (frames > MIX_ECHO_MAX_DELAY) {
        return 0;
    }
    Tap* const t = new (std::nothrow) Tap;
    if (t == nullptr) {
        return 0;
    }
    const int32_t d = float_to_int_trunc(frames); // NaN gives the indefinite, raised below
    t->delay = d < MIX_ECHO_MIN_DELAY ? MIX_ECHO_MIN_DELAY : d;
    t->gain = scaled(gain);
    if (damping > 0.00001f) {
        const double c = 256.0 * std::exp(-30000.0 / (static_cast<double>(rate_) * static_cast<double>(damping)));
        const int32_t k = float_to_int_trunc(c);
        t->damping = k < 0 ? 0 : (k > 256 ? 256 : k);
    }
    t->swap = swap;
    t->next = taps_;
    taps_ = t;
    return 1;
}

int MixEcho::build(float dry, float wet, float feedback)
{
    if (taps_ == nullptr || delay_ != nullptr) {
        return 0;
    }
    int32_t longest = 0;
    for (const Tap* t = taps_; t != nullptr; t = t->next) {
        longest = t->delay > longest ? t->delay : longest;
    }
    const int32_t length = (longest + 511) & ~255;
    const size_t bytes = static_cast<size_t>(length) * 2 * sizeof(int32_t);
    delay_ = static_cast<int32_t*>(kheap_alloc(bytes, KHEAP_FROM_BOTTOM, "MixEcho"));
    if (delay_ == nullptr) {
        return 0;
    }
    std::memset(delay_, 0, bytes);
    length_ = length;
    write_ = delay_;
    end_ = delay_ + 2 * static_cast<size_t>(length);
    dry_ = scaled(dry);
    wet_ = scaled(wet);
    feedback_ = scaled(feedback);
    for (Tap* t = taps_; t != nullptr; t = t->next) {
        t->read = delay_ + 2 * static_cast<size_t>(length - t->delay);
        t->state_l = 0;
        t->state_r = 0;
    }
    return 1;
}

// 64-bit products agree with 32-bit ones wherever those did not overflow.
void MixEcho::process(int32_t* acc, int32_t frames)
{
    if (delay_ == nullptr) {
        return;
    }
    for (int32_t f = 0; f < frames; ++f, acc += 2) {
        int64_t sl = 0;
        int64_t sr = 0;
        for (Tap* t = taps_; t != nullptr; t = t->next) {
            int64_t a = t->read[0];
            int64_t b = t->read[1];
            t->read += 2;
            if (t->read == end_) {
                t->read = delay_;
            }
            if (t->damping != 0) {
                const int64_t c = t->damping;
                t->state_l = static_cast<int32_t>((c * t->state_l + (256 - c) * a) >> 8);
                t->state_r = static_cast<int32_t>((c * t->state_r + (256 - c) * b) >> 8);
                a = t->state_l;
                b = t->state_r;
            }
            const int64_t va = (a * t->gain) >> 8;
            const int64_t vb = (b * t->gain) >> 8;
            if (t->swap != 0) {
                sl += vb;
                sr += va;
            } else {
                sl += va;
                sr += vb;
            }
        }
        const int64_t l = acc[0];
        const int64_t r = acc[1];
        acc[0] = saturated((wet_ * sl + dry_ * l) >> 8);
        acc[1] = saturated((wet_ * sr + dry_ * r) >> 8);
        write_[0] = bounded(l + ((sl * feedback_) >> 8));
        write_[1] = bounded(r + ((sr * feedback_) >> 8));
        write_ += 2;
        if (write_ == end_) {
            write_ = delay_;
        }
    }
}
