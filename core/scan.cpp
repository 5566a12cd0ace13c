#include "core/scan.h"

#include <cstdlib>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

bool scan_base(const char* p, bool auto_base, int32_t& value)
{
    while (is_blank(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int base = 10;
    if (auto_base && p[0] == '0') {
        if ((p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16) {
            base = 16;
            p += 2;
        } else {
            base = 8;
        }
    }
    if (digit_value(*p) >= base) {
        return false;
    }
    uint64_t magnitude = 0;
    for (; digit_value(*p) < base; ++p) {
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(*p));
        if (magnitude > 0xFFFFFFFFull) {
            return false;
        }
    }
    if (base == 10) {
        if (negative ? magnitude > 0x80000000ull : magnitude > 0x7FFFFFFFull) {
            return false;
        }
    }
    const uint32_t bits = static_cast<uint32_t>(magnitude);
    value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
}

} // namespace

bool scan_int(const char* text, int32_t& value) { return text != nullptr && scan_base(text, true, value); }

bool scan_decimal(const char* text, int32_t& value) { return text != nullptr && scan_base(text, false, value); }

bool scan_float(const char* text, float& value)
{
    if (text == nullptr) {
        return false;
    }
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text) {
        return false;
    }
    value = v;
    return true;
}
