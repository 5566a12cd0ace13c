#include "core/compare_nocase.h"

int compare_nocase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const int ca = static_cast<unsigned char>(fold_ascii(*a));
        const int cb = static_cast<unsigned char>(fold_ascii(*b));
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
}

int compare_nocase_n(const char* a, const char* b, size_t n)
{
    for (; n > 0; --n, ++a, ++b) {
        const int ca = static_cast<unsigned char>(fold_ascii(*a));
        const int cb = static_cast<unsigned char>(fold_ascii(*b));
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
    return 0;
}
