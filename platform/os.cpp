#include "platform/os.h"

#include "platform/timer.h"

int os_init(const char*)
{
    return timer_init() == 0 ? 1 : 0;
}

void os_shutdown()
{
    timer_shutdown();
}
