#pragma once
// The host's clocks: a wrapping millisecond timer and a high-resolution
// counter. Both can be replaced by a fake for tests.
#include <cstdint>

namespace host {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since some fixed instant, wrapping at 2^32.
    virtual uint32_t milliseconds() = 0;
    // High-resolution counter and its ticks per second; false when unavailable.
    virtual bool counter(int64_t& value) = 0;
    virtual bool frequency(int64_t& value) = 0;
};

// The clock in use: the monotonic system clock unless a test set another.
Clock& clock();
// Install a clock (null restores the system clock); returns the previous one.
Clock* set_clock(Clock* clock);

inline uint32_t time_get_time() { return clock().milliseconds(); }

// Lets the thread sleep for about that long, whatever clock is installed.
void sleep_milliseconds(uint32_t ms);

// A clock that only moves when told to; for tests.
class ManualClock final : public Clock {
public:
    uint32_t milliseconds() override { return static_cast<uint32_t>(micros_ / 1000); }
    bool counter(int64_t& value) override { value = micros_; return has_counter_; }
    bool frequency(int64_t& value) override { value = 1000000; return has_counter_; }

    void advance_seconds(double s) { micros_ += static_cast<int64_t>(s * 1e6 + (s >= 0 ? 0.5 : -0.5)); }
    void set_micros(int64_t us) { micros_ = us; }
    int64_t micros() const { return micros_; }
    void set_has_counter(bool has) { has_counter_ = has; }

private:
    int64_t micros_ = 0;
    bool has_counter_ = true;
};

// Installs a clock for the lifetime of the guard.
class ScopedClock {
public:
    explicit ScopedClock(Clock* c) : previous_(set_clock(c)) {}
    ~ScopedClock() { set_clock(previous_); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

} // namespace host
