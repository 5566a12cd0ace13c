#pragma once
// A test that cannot run because the machine lacks something it needs (an
// OpenGL context, an X display, a tool that scripts/deps.sh installs): run
// by hand it is skipped with the reason; under `make test`, which sets
// OSTREL_NO_SKIP, it fails with the reason, so that a run cannot pass with
// a part left untested.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace test_support {

inline bool skips_fail()
{
    const char* const value = std::getenv("OSTREL_NO_SKIP");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// For a fixture's helper whose callers return when IsSkipped(): the helper
// skips the test and notes the reason here; where skips fail, the failure is
// added when the fixture ends.
class SkipThatFails {
public:
    SkipThatFails() = default;
    SkipThatFails(const SkipThatFails&) = delete;
    SkipThatFails& operator=(const SkipThatFails&) = delete;
    ~SkipThatFails()
    {
        if (!reason_.empty() && skips_fail()) {
            ADD_FAILURE() << reason_ << " (OSTREL_NO_SKIP is set: no skip)";
        }
    }
    void note(std::string reason) { reason_ = std::move(reason); }

private:
    std::string reason_;
};

} // namespace test_support

// In a test body or SetUp, like GTEST_SKIP(): SKIP_OR_FAIL("xdotool is missing");
// the message may be a chain of `<<` operands.
#define SKIP_OR_FAIL(message)                                                                                  \
    do {                                                                                                       \
        if (::test_support::skips_fail()) {                                                                    \
            FAIL() << message << " (OSTREL_NO_SKIP is set: no skip)";                                          \
        }                                                                                                      \
        GTEST_SKIP() << message;                                                                               \
    } while (false)
