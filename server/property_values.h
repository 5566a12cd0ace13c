#pragma once
// How the object classes turn script values into their fields: truncation
// toward zero, then the field's range; the 12-bit colour of four bits a
// colour byte; a field stored with the tick of its change.
#include "core/numerics.h"

#include <algorithm>
#include <cstdint>

// trunc(v x scale) within [low, high]; NaN and infinities give low.
inline int32_t quantise(double v, double scale, int32_t low, int32_t high)
{
    const int32_t t = float_to_int_trunc(v * scale);
    return t == INT_INDEFINITE ? low : std::clamp(t, low, high);
}

// Bits 4-7, 12-15 and 20-23 of a 32-bit colour to bits 0-3, 4-7 and 8-11.
inline uint32_t colour12(uint32_t c)
{
    return ((c >> 4) & 0xFu) | ((c >> 8) & 0xF0u) | ((c >> 12) & 0xF00u);
}

// Stores a value that differs with the tick: true when it changed.
template <typename T>
bool store_stamped(T& field, const T& value, int32_t& stamp, int32_t tick)
{
    if (field == value) {
        return false;
    }
    field = value;
    stamp = tick;
    return true;
}
