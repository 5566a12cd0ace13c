#include "core/wild_match.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

// The matcher's definition, recursive as written down; for small inputs only.
int reference(const char* t, const char* p, int fold)
{
    const char c = fold != 0 ? static_cast<char>(std::tolower(static_cast<unsigned char>(*t))) : *t;
    const char q = fold != 0 ? static_cast<char>(std::tolower(static_cast<unsigned char>(*p))) : *p;
    if (c == '\0' || q == '\0') {
        return c == '\0' && q == '\0';
    }
    if (q == '*') {
        for (const char* s = t;; ++s) {
            if (reference(s, p + 1, fold) != 0) {
                return 1;
            }
            if (*s == '\0') {
                return 0;
            }
        }
    }
    if (q == '?' || q == c) {
        return reference(t + 1, p + 1, fold);
    }
    return 0;
}

// Every string of up to max_length characters over the alphabet, in turn.
template <typename F>
void each_string(const std::string& alphabet, size_t max_length, F f)
{
    std::string s;
    f(s);
    for (size_t length = 1; length <= max_length; ++length) {
        std::vector<size_t> digits(length, 0);
        for (;;) {
            s.assign(length, ' ');
            for (size_t i = 0; i < length; ++i) {
                s[i] = alphabet[digits[i]];
            }
            f(s);
            size_t i = 0;
            while (i < length && ++digits[i] == alphabet.size()) {
                digits[i++] = 0;
            }
            if (i == length) {
                break;
            }
        }
    }
}

} // namespace

TEST(WildMatch, ResultsIncludingTheTrailingStarQuirk)
{
    struct Case {
        const char* text;
        const char* pattern;
        int fold;
        int expected;
    };
    const Case cases[] = {
        {"a.b", "*.*", 0, 1},  {"ab", "*.*", 0, 0},   {"", "?", 0, 0},      {"abc", "*", 0, 1},
        {"ABC", "a?c", 1, 1},  {"ABC", "a?c", 0, 0},  {"abc", "abc*", 0, 0}, {"abc", "ab*", 0, 1},
        {"", "*", 0, 0},       {"", "", 0, 1},        {"abc", "abc", 0, 1}, {"abc", "abd", 0, 0},
        {"abc", "a*c", 0, 1},  {"abc", "*c", 0, 1},   {"ab", "a**", 0, 1},  {"a", "a**", 0, 0},
        {"ab", "a*b*", 0, 0},  {"x.TXT", "*.txt", 1, 1}, {"[", "{", 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wild_match(c.text, c.pattern, c.fold), c.expected)
            << '"' << c.text << "\" against \"" << c.pattern << "\" fold " << c.fold;
    }
}

TEST(WildMatch, AgreesWithTheDefinitionOnEverySmallCase)
{
    // Every text of up to 5 characters against every pattern of up to 4.
    int checked = 0;
    each_string("ab*?", 4, [&](const std::string& pattern) {
        each_string("abA", 5, [&](const std::string& text) {
            for (int fold = 0; fold <= 1; ++fold) {
                ASSERT_EQ(wild_match(text.c_str(), pattern.c_str(), fold),
                          reference(text.c_str(), pattern.c_str(), fold))
                    << '"' << text << "\" against \"" << pattern << "\" fold " << fold;
                ++checked;
            }
        });
    });
    EXPECT_GT(checked, 100000);
}

TEST(WildMatch, ManyStarsOnALongNameFinish)
{
    // Backtracking over every star would take ~10^40 steps here.
    const std::string text(4000, 'a');
    std::string pattern;
    for (int i = 0; i < 40; ++i) {
        pattern += "*a";
    }
    EXPECT_EQ(wild_match(text.c_str(), (pattern + "*b").c_str(), 0), 0);
    EXPECT_EQ(wild_match(text.c_str(), (pattern + "?").c_str(), 0), 1);
    EXPECT_EQ(wild_match((text + "b").c_str(), (pattern + "*b").c_str(), 0), 1);
}
