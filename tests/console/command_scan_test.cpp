#include "core/command_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> tokens_of(const char* command)
{
    char area[CONSCMD_TOKEN_AREA];
    const char* argv[CONSCMD_MAX_TOKENS] = {};
    const int argc = tokenize_command(command, std::strlen(command), area, argv);
    return std::vector<std::string>(argv, argv + argc);
}

using Tokens = std::vector<std::string>;

} // namespace

TEST(CommandEnd, FindsTheEndOfTheFirstCommand)
{
    struct Case {
        const char* name;
        const char* text;
        size_t end;
    };
    const Case cases[] = {
        {"semicolon ends after itself", "a;b", 2},
        {"newline ends after itself", "a\nb", 2},
        {"end of text", "Echo hi", 7},
        {"semicolon in quotes does not end", "Echo \"x;y\";z", 11},
        {"semicolon in parentheses does not end", "Define g (a;b);c", 15},
        {"newline in parentheses does not end", "Define g (a\nb)\nc", 15},
        {"newline in quotes ends", "Echo \"a\nb\"", 8},
        {"closing parenthesis at depth 0 ends before it", "Echo a)b", 6},
        {"parentheses count inside quotes", "Echo \"(\" ;x\n", 12},
        {"line comment ends before it", "Echo a // x\n", 7},
        {"block comment ends before it", "Echo a/*x*/", 6},
        {"comment in quotes does not end", "Echo \"a//b\"", 11},
        {"comment at the start gives an empty command", "// x\nEcho", 0},
        {"stray parenthesis at the start gives an empty command", ")Echo", 0},
        {"single slash is a character", "Echo a/b", 8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(command_end(c.text, std::strlen(c.text)), c.end) << c.name;
    }
}

TEST(TokenizeCommand, SplitsByTheLanguageRules)
{
    struct Case {
        const char* name;
        const char* command;
        Tokens tokens;
    };
    const Case cases[] = {
        {"blanks separate", "Set  x\t1", {"Set", "x", "1"}},
        {"control characters separate", "a\x01" "b\x1F" "c", {"a", "b", "c"}},
        {"quotes keep blanks and drop the quotes", "Echo \"hello world\"", {"Echo", "hello world"}},
        {"quote runs to the newline", "Echo \"abc\ndef", {"Echo", "abc", "def"}},
        {"unclosed quote runs to the end", "Echo \"abc", {"Echo", "abc"}},
        {"empty quotes give an empty token", "Echo \"\"", {"Echo", ""}},
        {"parentheses nest", "Define g (Echo (a b); Echo c)", {"Define", "g", "Echo (a b); Echo c"}},
        {"unmatched parenthesis runs to the end", "Define g (Echo a", {"Define", "g", "Echo a"}},
        {"word directly before parenthesis", "Echo(hi)", {"Echo", "hi"}},
        {"word directly before quote", "Echo\"hi\"there", {"Echo", "hi", "there"}},
        {"semicolon separates", "a;b", {"a", "b"}},
        {"stray closing parenthesis separates", "a)b", {"a", "b"}},
        {"high bytes separate", "a\x80" "b\xFF" "c", {"a", "b", "c"}},
        {"0x7F belongs to a word", "a\x7F" "b", {"a\x7F" "b"}},
        {"only blanks give nothing", "   \n", {}},
        {"seventeenth token and later are dropped",
         "t1 t2 t3 t4 t5 t6 t7 t8 t9 t10 t11 t12 t13 t14 t15 t16 t17 t18",
         {"t1", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "t9", "t10", "t11", "t12", "t13", "t14", "t15", "t16"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tokens_of(c.command), c.tokens) << c.name;
    }
}

TEST(TokenizeCommand, LongestCommandOfSingleCharacterWordsFitsTheArea)
{
    std::string command;
    while (command.size() + 2 < CONSCMD_MAX_COMMAND) {
        command += "a ";
    }
    command += "b";
    ASSERT_EQ(command.size(), CONSCMD_MAX_COMMAND - 1);
    const Tokens tokens = tokens_of(command.c_str());
    EXPECT_EQ(tokens.size(), static_cast<size_t>(CONSCMD_MAX_TOKENS));
    // Parentheses that hold the whole command keep it as one token.
    const std::string wrapped = "(" + std::string(CONSCMD_MAX_COMMAND - 3, 'x') + ")";
    EXPECT_EQ(tokens_of(wrapped.c_str()), Tokens{std::string(CONSCMD_MAX_COMMAND - 3, 'x')});
}
