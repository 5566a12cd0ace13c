#include "host/host_clock.h"

#include <cerrno>
#include <ctime>

namespace host {
namespace {

class SystemClock final : public Clock {
public:
    uint32_t milliseconds() override
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<uint32_t>(ms);
    }
    bool counter(int64_t& value) override
    {
        timespec ts{};
        if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
            return false;
        }
        value = static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
        return true;
    }
    bool frequency(int64_t& value) override
    {
        value = 1000000000;
        return true;
    }
};

SystemClock system_clock;
Clock* current = &system_clock;

} // namespace

Clock& clock() { return *current; }

void sleep_milliseconds(uint32_t ms)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ms / 1000);
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

Clock* set_clock(Clock* c)
{
    Clock* const previous = current == &system_clock ? nullptr : current;
    current = c != nullptr ? c : &system_clock;
    return previous;
}

} // namespace host
