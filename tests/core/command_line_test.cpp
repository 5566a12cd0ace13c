#include "core/command_line.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> parameters(CommandLine& c)
{
    std::vector<std::string> out;
    for (int i = 0; i < c.parameter_count(); ++i) {
        out.emplace_back(c.parameter(i));
    }
    return out;
}

void write_file(const char* name, const char* text)
{
    std::FILE* f = std::fopen(name, "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
}

using Words = std::vector<std::string>;

} // namespace

TEST(CommandLine, RepeatedOptionsContinueTheSearch)
{
    CommandLine c;
    const char* argv[] = {"prog", "-base", "a", "b", "+BASE", "c", "/log"};
    ASSERT_EQ(c.parse(7, argv), 1);
    ASSERT_EQ(c.find_option("base"), 1);
    EXPECT_EQ(parameters(c), (Words{"a", "b"}));
    ASSERT_EQ(c.find_option("base"), 1);
    EXPECT_EQ(parameters(c), (Words{"c"}));
    EXPECT_EQ(c.parameter(1), nullptr);
    EXPECT_EQ(c.find_option("base"), 0);
    EXPECT_EQ(c.parameter(0), nullptr);
    EXPECT_EQ(c.end_search(), 0);
    EXPECT_EQ(c.find_option("LOG"), 1);
    EXPECT_EQ(c.parameter_count(), 0);
    EXPECT_EQ(c.end_search(), 1);
}

TEST(CommandLine, NamesWithAPrefixMatchOnlyThatPrefix)
{
    CommandLine c;
    const char* argv[] = {"prog", "+use_virtual_codes", "-USE_VIRTUAL_CODES"};
    c.parse(3, argv);
    ASSERT_EQ(c.find_option("-use_virtual_codes"), 1);
    EXPECT_STREQ(c.argument(c.count() - 1), "-USE_VIRTUAL_CODES");
    EXPECT_EQ(c.find_option("-use_virtual_codes"), 0);
}

TEST(CommandLine, LeadingParameterIsNeverReturned)
{
    CommandLine c;
    const char* argv[] = {"prog", "stray", "-x"};
    c.parse(3, argv);
    EXPECT_EQ(c.count(), 2);
    ASSERT_EQ(c.find_option("x"), 1);
    EXPECT_EQ(c.parameter_count(), 0);
}

TEST(CommandLine, SlashPathsAreParameters)
{
    struct Case {
        const char* text;
        bool option;
    };
    const Case cases[] = {
        {"/log", true}, {"-log", true}, {"+log", true}, {"/tmp", false}, {"/home/user/base", false},
        {"plain", false}, {"/no_such_thing_here", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_option_text(c.text), c.option) << c.text;
    }
    CommandLine c;
    const char* argv[] = {"prog", "-base", "/tmp", "/var/games"};
    c.parse(4, argv);
    ASSERT_EQ(c.find_option("base"), 1);
    EXPECT_EQ(parameters(c), (Words{"/tmp", "/var/games"}));
}

TEST(CommandLine, TooManyArgumentsFail)
{
    PrintCapture capture;
    CommandLine c;
    const char* argv[] = {"prog"};
    c.parse(1, argv);
    for (int i = 0; i < CMDLINE_MAX_ARGS; ++i) {
        ASSERT_EQ(c.add_argument("w"), 1);
    }
    EXPECT_EQ(c.add_argument("one-too-many"), 0);
    EXPECT_TRUE(capture.contains("CommandLine: Too many arguments !"));
    EXPECT_EQ(c.count(), CMDLINE_MAX_ARGS);
}

TEST(CommandLine, GrowingBufferKeepsEarlierArguments)
{
    PrintCapture capture;
    capture.show_all();
    CommandLine c;
    const char* argv[] = {"prog", "-first", "keep-me"};
    c.parse(3, argv);
    const std::string long_word(700, 'w');
    ASSERT_EQ(c.add_argument(long_word.c_str()), 1);
    ASSERT_EQ(c.add_argument(long_word.c_str()), 1);
    EXPECT_TRUE(capture.contains("CommandLine: Buffer size doubled"));
    ASSERT_EQ(c.find_option("first"), 1);
    EXPECT_EQ(parameters(c), (Words{"keep-me", long_word, long_word}));
}

TEST(CommandLine, OverlongArgumentListFailsCleanly)
{
    PrintCapture capture;
    CommandLine c;
    const char* argv[] = {"prog"};
    c.parse(1, argv);
    const std::string huge(3 << 20, 'h');
    EXPECT_EQ(c.add_argument(huge.c_str()), 0);
    EXPECT_TRUE(capture.contains("CommandLine: Argument list too big !"));
    EXPECT_EQ(c.add_argument("-still_works"), 1);
    EXPECT_EQ(c.find_option("still_works"), 1);
}

TEST(CommandLine, ResponseFilesAddTheirWords)
{
    write_file("cl_outer.opt", "-log\n@cl_inner.opt -open\tpak\n");
    write_file("cl_inner.opt", "-base  one two\n");
    CommandLine c;
    const char* argv[] = {"prog", "-first", "@cl_outer.opt", "last"};
    c.parse(4, argv);
    std::vector<std::string> all;
    for (int i = 0; i < c.count(); ++i) {
        all.emplace_back(c.argument(i));
    }
    EXPECT_EQ(all, (Words{"-first", "-log", "-base", "one", "two", "-open", "pak", "last"}));
    std::remove("cl_outer.opt");
    std::remove("cl_inner.opt");
}

TEST(CommandLine, ResponseFileIncludingItselfIsReadOnce)
{
    PrintCapture capture;
    write_file("cl_loop_a.opt", "-a @cl_loop_b.opt");
    write_file("cl_loop_b.opt", "-b @cl_loop_a.opt");
    CommandLine c;
    const char* argv[] = {"prog", "@cl_loop_a.opt"};
    c.parse(2, argv);
    EXPECT_EQ(c.count(), 2);
    EXPECT_TRUE(capture.contains("includes itself"));
    std::remove("cl_loop_a.opt");
    std::remove("cl_loop_b.opt");
}

TEST(CommandLine, MissingResponseFileIsSkipped)
{
    PrintCapture capture;
    CommandLine c;
    const char* argv[] = {"prog", "@cl_missing.opt", "-x"};
    EXPECT_EQ(c.parse(3, argv), 0);
    EXPECT_TRUE(capture.contains("CommandLine: Can't open 'cl_missing.opt'"));
    EXPECT_EQ(c.add_argument("-x"), 1);
}

TEST(CommandLine, LongResponseWordsArePieces)
{
    write_file("cl_long.opt", std::string(300, 'k').c_str());
    CommandLine c;
    const char* argv[] = {"prog", "@cl_long.opt"};
    c.parse(2, argv);
    ASSERT_EQ(c.count(), 2);
    EXPECT_EQ(std::string(c.argument(0)).size(), 255u);
    EXPECT_EQ(std::string(c.argument(1)).size(), 45u);
    std::remove("cl_long.opt");
}
