#pragma once
// Number parsing with the rules of the formatted-input conversions the engine
// uses, bounded to 32 bits.
#include <cstdint>

// "%i": optional blanks and sign, then 0x hexadecimal, leading-0 octal or
// decimal; characters after the number are ignored. Decimal values must fit
// in int32, hexadecimal and octal ones in 32 bits (wrapped to int32).
// False when no number is there or it does not fit.
bool scan_int(const char* text, int32_t& value);
// "%d": decimal only, same bounds.
bool scan_decimal(const char* text, int32_t& value);
// "%f" into a float; false when no number is there.
bool scan_float(const char* text, float& value);
