#include "server/map_route.h"

int MapRoute::load(const char*, uint32_t)
{
    loaded_ = true;
    return 1;
}

void MapRoute::free() { loaded_ = false; }
