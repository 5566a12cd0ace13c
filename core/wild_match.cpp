#include "core/wild_match.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"

int wild_match(const char* text, const char* pattern, int fold)
{
    K_ASSERT(text);
    K_ASSERT(pattern);
    // Backtracking to the last '*' only, so that no pattern costs more than
    // text length x pattern length steps.
    const char* star_pattern = nullptr;
    const char* star_text = nullptr;
    for (;;) {
        const char c = fold != 0 ? fold_ascii(*text) : *text;
        const char p = fold != 0 ? fold_ascii(*pattern) : *pattern;
        if (c == '\0' || p == '\0') {
            if (c == '\0' && p == '\0') {
                return 1;
            }
        } else if (p == '*') {
            star_pattern = ++pattern;
            star_text = text;
            continue;
        } else if (p == '?' || p == c) {
            ++text;
            ++pattern;
            continue;
        }
        if (star_pattern == nullptr || *star_text == '\0') {
            return 0;
        }
        text = ++star_text;
        pattern = star_pattern;
    }
}
