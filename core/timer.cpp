#include "core/timer.h"

#include "core/command_line.h"
#include "core/config_variable.h"
#include "host/host_clock.h"
#include "host/host_process.h"

namespace {

ConfigVariable* sys_priority = nullptr;
uint32_t base_ms = 0;
bool use_counter = false;
int64_t counter_frequency = 1;
int64_t counter_start = 0;

void apply_priority()
{
    if (sys_priority == nullptr || !sys_priority->check_changed()) {
        return;
    }
    int32_t p = sys_priority->int_value();
    if (p < SYS_PRIORITY_LOWEST || p > SYS_PRIORITY_HIGHEST) {
        p = p < SYS_PRIORITY_LOWEST ? SYS_PRIORITY_LOWEST : SYS_PRIORITY_HIGHEST;
        sys_priority->set_int(p);
        (void)sys_priority->check_changed();
    }
    // Lowest, below normal, normal, above normal, highest: as nice values.
    static constexpr int nice_of[5] = {10, 5, 0, -5, -10};
    host::set_priority(nice_of[p - SYS_PRIORITY_LOWEST]);
}

} // namespace

int timer_init()
{
    if (cvar_list == nullptr || command_line == nullptr) {
        return 1;
    }
    sys_priority = cvar_list->link(CVTYPE_INT, 0x100, "Sys_Priority", "1", 0);
    if (sys_priority == nullptr) {
        return 1;
    }
    host::Clock& clock = host::clock();
    base_ms = clock.milliseconds();
    use_counter = false;
    int64_t frequency = 0;
    int64_t start = 0;
    if (command_line->find_option("use_hitimer") && clock.frequency(frequency) && frequency > 0 &&
        clock.counter(start)) {
        use_counter = true;
        counter_frequency = frequency;
        counter_start = start;
    }
    command_line->end_search();
    return 0;
}

void timer_shutdown()
{
    if (sys_priority != nullptr && cvar_list != nullptr) {
        cvar_list->release(sys_priority);
    }
    sys_priority = nullptr;
}

double sys_time()
{
    apply_priority();
    host::Clock& clock = host::clock();
    if (use_counter) {
        int64_t now = 0;
        clock.counter(now);
        const int64_t elapsed = static_cast<int64_t>(static_cast<uint64_t>(now) - static_cast<uint64_t>(counter_start));
        return static_cast<double>(elapsed) / static_cast<double>(counter_frequency);
    }
    return static_cast<double>(clock.milliseconds() - base_ms) * 0.001;
}

uint32_t timer_base() { return base_ms; }

bool timer_uses_counter() { return use_counter; }
