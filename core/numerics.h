#pragma once
// The i386 conversions the engine relies on, without undefined behaviour.
#include <cmath>
#include <cstdint>

// x87 "integer indefinite": what a 32-bit conversion gives for NaN or out of range.
constexpr int32_t INT_INDEFINITE = INT32_MIN;

// Truncation toward zero, as a C cast did on i386.
inline int32_t float_to_int_trunc(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0)) {
        return INT_INDEFINITE;
    }
    return static_cast<int32_t>(v);
}

// Rounding to nearest even, as fistp did in the default mode.
inline int32_t float_to_int_round(double v)
{
    if (!(v >= -2147483648.5 && v < 2147483647.5)) {
        return INT_INDEFINITE;
    }
    return static_cast<int32_t>(std::nearbyint(v));
}

inline int32_t wrap_add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t wrap_sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t wrap_mul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t wrap_neg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }
// INT_MIN / -1 gives INT_MIN; division by zero gives 0 (callers report it).
inline int32_t safe_div(int32_t a, int32_t b)
{
    if (b == 0) {
        return 0;
    }
    if (b == -1) {
        return wrap_neg(a);
    }
    return a / b;
}
inline int32_t safe_mod(int32_t a, int32_t b)
{
    if (b == 0 || b == -1) {
        return 0;
    }
    return a % b;
}
