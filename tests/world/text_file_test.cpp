#include "world/text_file.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct HeaderCase {
    const char* name;
    const char* line;
    uint32_t identifier_before;
    int result;
    uint32_t identifier_after;
};

const HeaderCase HEADER_CASES[] = {
    {"ExactMagicLeavesTheWord", "textualRPlanes,version005\n", 0, TEXT_HEADER_OK, 0},
    {"ExactMagicFitsAnyMap", "textualRPlanes,version005\n", 0x77, TEXT_HEADER_OK, 0x77},
    {"FirstIdentifierFixesTheLoad", "textualRPlanes,version005,0x1a2b\n", 0, TEXT_HEADER_OK, 0x1A2B},
    {"SameIdentifierIsAccepted", "textualRPlanes,version005,0x1a2b\n", 0x1A2B, TEXT_HEADER_OK, 0x1A2B},
    {"OtherIdentifierIsAnotherMap", "textualRPlanes,version005,0x1a2c\n", 0x1A2B, TEXT_HEADER_OTHER_MAP, 0x1A2B},
    {"FourthVersionDigitIsNoIdentifier", "textualRPlanes,version0051,0x9\n", 0x1A2B, TEXT_HEADER_OK, 0x1A2B},
    {"ZeroIdentifierIsNone", "textualRPlanes,version005,0x0\n", 0x1A2B, TEXT_HEADER_OK, 0x1A2B},
    {"CommaWithoutHexIsNone", "textualRPlanes,version005,0xg\n", 0, TEXT_HEADER_OK, 0},
    {"UpperCaseHexDigits", "textualRPlanes,version005,0xABCDEF01", 0, TEXT_HEADER_OK, 0xABCDEF01},
    {"TooManyHexDigitsIsNone", "textualRPlanes,version005,0x123456789\n", 5, TEXT_HEADER_OK, 5},
    {"CaseMatters", "textualrplanes,version005\n", 0, TEXT_HEADER_UNKNOWN, 0},
    {"OtherVersion", "textualRPlanes,version004\n", 0, TEXT_HEADER_UNKNOWN, 0},
    {"CommentLineIsNoHeader", "# textualRPlanes,version005\n", 0, TEXT_HEADER_UNKNOWN, 0},
    {"ShortLine", "textual", 0, TEXT_HEADER_UNKNOWN, 0},
};

class HeaderRule : public ::testing::TestWithParam<HeaderCase> {};

} // namespace

TEST_P(HeaderRule, Applies)
{
    const HeaderCase& c = GetParam();
    uint32_t identifier = c.identifier_before;
    EXPECT_EQ(check_text_header(c.line, "textualRPlanes,version005", &identifier), c.result);
    EXPECT_EQ(identifier, c.identifier_after);
}

INSTANTIATE_TEST_SUITE_P(Lines, HeaderRule, ::testing::ValuesIn(HEADER_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextLines, LongLinesComeInPiecesAndCommentsAreSkipped)
{
    WorldFiles files;
    const std::string long_line(1500, 'a');
    files.write("long.txt", "# first\n" + long_line + "\n#\n#x\nlast\n# trailing comment\n");
    FileStream* const s = fsys->open("long.txt", FSYS_TEXT);
    ASSERT_NE(s, nullptr);
    char line[TEXT_LINE_SIZE];
    ASSERT_NE(read_text_line(line, s), nullptr);
    EXPECT_EQ(std::string(line), std::string(1023, 'a'));
    ASSERT_NE(read_text_line(line, s), nullptr);
    EXPECT_EQ(std::string(line), std::string(477, 'a') + "\n");
    ASSERT_NE(read_text_line(line, s), nullptr);
    EXPECT_EQ(std::string(line), "last\n");
    EXPECT_EQ(read_text_line(line, s), nullptr) << "a file ending in a comment ends";
    EXPECT_EQ(read_text_line(line, s), nullptr);
    s->close();
}

TEST(TextLines, StringHelpers)
{
    char path[32];
    const char* const tail = copy_path(path, sizeof path, "maps/e1\\sub/x.txt");
    ASSERT_NE(tail, nullptr);
    EXPECT_STREQ(path, "maps/e1\\sub/x.txt");
    EXPECT_STREQ(tail, "x.txt");
    EXPECT_EQ(copy_path(path, sizeof path, "plain"), path);
    EXPECT_EQ(copy_path(path, 8, "too long a path"), nullptr) << "a path that does not fit is refused";
    EXPECT_STREQ(path, "");

    char text[] = "word one\ntwo\n";
    char* const end = cut_at_newline(text);
    EXPECT_STREQ(text, "word one");
    EXPECT_EQ(end, text + 8);
    char bare[] = "no newline";
    EXPECT_EQ(cut_at_newline(bare), bare + 10);

    EXPECT_STREQ(next_word("12  \t 34 56"), "34 56");
    EXPECT_STREQ(next_word("last"), "");
    EXPECT_STREQ(next_word(" lead"), "lead") << "blanks at the start end the current (empty) word";
}
