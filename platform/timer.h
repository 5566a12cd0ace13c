#pragma once
// The engine clock: seconds since timer_init, from the millisecond timer or,
// with the option "use_hitimer", the high-resolution counter.
#include <cstdint>

// 0 on success, 1 when the variable list or command line is missing or
// Sys_Priority cannot be linked.
int timer_init();
void timer_shutdown();
double sys_time();
// The millisecond-timer value taken by timer_init.
uint32_t timer_base();
bool timer_uses_counter();
