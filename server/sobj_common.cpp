#include "server/sobj_common.h"

#include <cmath>

void SObjCommon::reset()
{
    id = 0;
    audience = AUDIENCE_NOBODY;
    physical = -1;
    flags = SOBJF_DESTROYED;
    next = -1;
    position = Vector{0.0f, 0.0f, 0.0f};
    offset = Vector{0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        carrier_angles[i] = 0.0f;
        own_angles[i] = 0.0f;
    }
    for (int32_t& s : stamp) {
        s = -1;
    }
    tick_create = -1;
    entry = -1;
}

bool audience_admits(int32_t audience, int client)
{
    if (audience == AUDIENCE_EVERYONE) {
        return true;
    }
    if (audience == AUDIENCE_NOBODY) {
        return false;
    }
    const uint32_t a = static_cast<uint32_t>(audience);
    if ((a & 0x10000u) != 0) {
        return static_cast<int>(a & 0xFFFFu) != client;
    }
    if ((a & 0xFF0000u) == 0) {
        return static_cast<int>(a & 0xFFFFu) == client;
    }
    return false;
}

// Adding or taking whole turns one at a time never ends for values of 2^24
// and more; x - floor(x) gives the same float for every finite value.
float wrap_fraction(float fraction)
{
    if (!std::isfinite(fraction)) {
        return 0.0f;
    }
    float f = fraction - std::floor(fraction);
    if (f >= 1.0f) {
        f -= 1.0f;
    }
    return f;
}

float turn_fraction(float radians)
{
    return wrap_fraction(radians * 0.15915494f);
}
