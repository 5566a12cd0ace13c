#include "core/config_variable.h"
#include "engine/engine.h"
#include "engine/entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> words(const ArgVector& v)
{
    std::vector<std::string> out;
    for (int i = 0; i < v.argc; ++i) {
        out.emplace_back(v.argv[i]);
    }
    return out;
}

using Words = std::vector<std::string>;

} // namespace

TEST(SplitCommandLine, QuotesAndSeparators)
{
    struct Case {
        const char* line;
        Words expected;
    };
    const Case cases[] = {
        {"", {"prog"}},
        {"  -log\t-base  a\n", {"prog", "-log", "-base", "a"}},
        {"-open \"my pak\" x", {"prog", "-open", "\"my pak\"", "x"}},
        {"a\"b c\"d e", {"prog", "a\"b c\"d", "e"}},
        {"\"unterminated run", {"prog", "\"unterminated run"}},
        {"\x01x\x1fy", {"prog", "x", "y"}},
    };
    for (const Case& c : cases) {
        ArgVector v;
        ASSERT_EQ(split_command_line(v, "prog", c.line), 0);
        EXPECT_EQ(words(v), c.expected) << c.line;
        EXPECT_EQ(v.argv[v.argc], nullptr);
    }
}

TEST(SplitCommandLine, KeepsAtMost255Words)
{
    std::string line;
    for (int i = 0; i < 300; ++i) {
        line += "w" + std::to_string(i) + " ";
    }
    ArgVector v;
    ASSERT_EQ(split_command_line(v, "prog", line.c_str()), 0);
    EXPECT_EQ(v.argc, 256);
    EXPECT_STREQ(v.argv[255], "w254");

    std::vector<const char*> argv(400, "x");
    ArgVector direct;
    ASSERT_EQ(split_arguments(direct, "prog", 400, argv.data()), 0);
    EXPECT_EQ(direct.argc, 256);
}

TEST(FindArgument, ComparesWholeArgumentInAnyCase)
{
    ArgVector v;
    split_command_line(v, "-no_version_check", "-NO_VERSION_CHECK");
    EXPECT_EQ(find_argument(v, "-no_version_check"), 1);
    ArgVector slash;
    split_command_line(slash, "prog", "/no_version_check");
    EXPECT_EQ(find_argument(slash, "-no_version_check"), 0);
    ArgVector only_program;
    split_command_line(only_program, "-no_version_check", "");
    EXPECT_EQ(find_argument(only_program, "-no_version_check"), 0);
}

TEST(ProgramMain, FailedStartUpDestroysTheEngineAndFails)
{
    // Start-up puts the default print handler back: its lines go to stdout.
    ::testing::internal::CaptureStdout();
    const char* argv[] = {"ostrel", "-base", "much_too_long_name"};
    EXPECT_EQ(program_main(3, argv, "Win32"), -1);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(cvar_list, nullptr);
    EXPECT_NE(out.find("Error: Kavrin: 'much_too_long_name' is not a valid basename"), std::string::npos);
}
