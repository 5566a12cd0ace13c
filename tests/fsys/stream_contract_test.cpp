// What every FileStream does the same way, over a host directory and over an
// archive member (which sits between other members, so that reading past its
// end would show their bytes).
#include "stream_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class StreamContract : public ::testing::TestWithParam<const char*> {
protected:
    FileStream* open(const std::string& content, int mode = FSYS_BINARY) { return source_.open(content, mode); }

    StreamSource source_{GetParam()};
};

std::vector<std::string> words(FileStream* s, int size)
{
    std::vector<std::string> out;
    std::vector<char> buffer(static_cast<size_t>(size));
    for (int i = 0; i < 100 && s->read_word(buffer.data(), size) != nullptr; ++i) {
        out.emplace_back(buffer.data());
    }
    return out;
}

std::vector<std::string> lines(FileStream* s, int size)
{
    std::vector<std::string> out;
    std::vector<char> buffer(static_cast<size_t>(size));
    for (int i = 0; i < 100 && s->read_line(buffer.data(), size) != nullptr; ++i) {
        out.emplace_back(buffer.data());
    }
    return out;
}

} // namespace

TEST_P(StreamContract, WordsAndLines)
{
    struct Case {
        const char* content;
        int size;
        std::vector<std::string> words;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"one two\n three", 16, {"one", "two", "three"}, {"one two\n", " three"}},
        {"  word", 16, {"word"}, {"  word"}},
        {"", 16, {}, {}},
        {"\n\n", 16, {}, {"\n", "\n"}},
        {"abcdefgh ij", 4, {"abc", "def", "gh", "ij"}, {"abc", "def", "gh ", "ij"}},
        {"abc", 1, {}, {}},
    };
    for (const Case& c : cases) {
        FileStream* s = open(c.content);
        EXPECT_EQ(words(s, c.size), c.words) << c.content << " size " << c.size;
        s->close();
        s = open(c.content);
        EXPECT_EQ(lines(s, c.size), c.lines) << c.content << " size " << c.size;
        s->close();
    }
}

TEST_P(StreamContract, WordLeavesItsSeparatorToBeRead)
{
    FileStream* const s = open("ab\ncd");
    char word[8];
    ASSERT_NE(s->read_word(word, sizeof word), nullptr);
    EXPECT_STREQ(word, "ab");
    EXPECT_EQ(s->get_char(), '\n');
    char line[8];
    ASSERT_NE(s->read_line(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "cd"); // the last line, without a line end
    EXPECT_EQ(s->read_line(line, sizeof line), nullptr);
    s->close();
}

TEST_P(StreamContract, TextModeDropsCarriageReturnsBeforeLineEnds)
{
    FileStream* s = open("a\r\nb", FSYS_TEXT);
    EXPECT_EQ(lines(s, 64), (std::vector<std::string>{"a\n", "b"}));
    s->close();
    s = open("a\r\nb", FSYS_BINARY);
    EXPECT_EQ(lines(s, 64), (std::vector<std::string>{"a\r\n", "b"}));
    s->close();
    s = open("x\r\n\r\ny", FSYS_TEXT);
    std::string text;
    for (int c = s->get_char(); c != -1; c = s->get_char()) {
        text += static_cast<char>(c);
    }
    EXPECT_EQ(text, "x\n\ny");
    s->close();
}

TEST_P(StreamContract, CharactersUngetAndRead)
{
    FileStream* const s = open("ABCDEFGHIJ");
    EXPECT_EQ(s->size(), 10);
    EXPECT_EQ(s->get_char(), 'A');
    s->unget('A');
    EXPECT_EQ(s->get_char(), 'A');
    char buffer[16] = {};
    EXPECT_EQ(s->read(buffer, 3, 2), 2u);
    EXPECT_EQ(std::string(buffer, 6), "BCDEFG");
    EXPECT_EQ(s->tell(), 7);
    EXPECT_EQ(s->read(buffer, 2, 1), 1u);
    EXPECT_EQ(std::string(buffer, 2), "HI");
    EXPECT_EQ(s->get_char(), 'J');
    EXPECT_EQ(s->get_char(), -1);
    EXPECT_NE(s->eof(), 0);
    EXPECT_EQ(s->tell(), s->size());
    EXPECT_EQ(s->read(buffer, 1, 4), 0u);
    s->close();
}

TEST_P(StreamContract, SeekFromEachOrigin)
{
    FileStream* const s = open("0123456789");
    EXPECT_EQ(s->seek(4, FSYS_SEEK_SET), 0);
    EXPECT_EQ(s->get_char(), '4');
    EXPECT_EQ(s->seek(2, FSYS_SEEK_CUR), 0);
    EXPECT_EQ(s->get_char(), '7');
    EXPECT_EQ(s->seek(-1, FSYS_SEEK_END), 0);
    EXPECT_EQ(s->get_char(), '9');
    EXPECT_EQ(s->seek(0, 3), -1);
    EXPECT_EQ(s->seek(0, FSYS_SEEK_SET), 0);
    EXPECT_EQ(s->read_le16(), 0x3130);
    EXPECT_EQ(s->read_be16(), 0x3233);
    EXPECT_EQ(s->read_le32(), 0x37363534);
    EXPECT_EQ(s->seek(0, FSYS_SEEK_SET), 0);
    EXPECT_EQ(s->read_be32(), 0x30313233);
    EXPECT_EQ(s->size(), 10);
    EXPECT_EQ(s->tell(), 4); // size keeps the position
    s->close();
}

TEST_P(StreamContract, OpenFileCountFollowsOpenAndClose)
{
    FileStream* const a = open("a");
    FileDriver* const driver = a->driver();
    EXPECT_EQ(driver->open_files(), 1);
    a->close();
    EXPECT_EQ(driver->open_files(), 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, StreamContract, ::testing::Values("dir", "muf"));
