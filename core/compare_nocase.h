#pragma once
#include <cstddef>

// Compares byte by byte after folding only the ASCII letters A-Z to lower
// case; the difference of the first differing folded bytes, 0 when equal.
int compare_nocase(const char* a, const char* b);
// The same over at most n bytes.
int compare_nocase_n(const char* a, const char* b, size_t n);

constexpr char fold_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
