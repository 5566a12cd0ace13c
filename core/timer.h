#pragma once
// The engine clock: seconds since timer_init, from the millisecond timer or,
// with the option "use_hitimer", the high-resolution counter.
#include <cstdint>

// Sys_Priority runs from -2 (lowest) to 2 (highest); other values are corrected in place.
constexpr int32_t SYS_PRIORITY_LOWEST = -2;
constexpr int32_t SYS_PRIORITY_HIGHEST = 2;

// 0 on success, 1 when the variable list or command line is missing or
// Sys_Priority cannot be linked.
int timer_init();
void timer_shutdown();
double sys_time();
// The millisecond-timer value taken by timer_init.
uint32_t timer_base();
bool timer_uses_counter();
