#include "platform/timer.h"

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
    // 0 idle, 1 normal, 2 high, 3 real time: as nice values.
    static constexpr int nice_of[4] = {10, 0, -5, -10};
    const int32_t p = sys_priority->as_int();
    host::set_priority(nice_of[p < 0 ? 0 : (p > 3 ? 3 : p)]);
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
        return static_cast<double>(now - counter_start) / static_cast<double>(counter_frequency);
    }
    return static_cast<double>(clock.milliseconds() - base_ms) * 0.001;
}

uint32_t timer_base() { return base_ms; }

bool timer_uses_counter() { return use_counter; }
