#include "core/config_variable.h"
#include "core/log_file.h"
#include "core/print.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string read_file(const char* name)
{
    std::ifstream in(name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A variable list and a log for the duration of a test. The log is named
// after the test: tests of one binary run in parallel in one folder.
class PrintFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        log_name_ = std::string("print_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        print_reset();
        print_init();
        cvar_list = new ConfigVariableList;
        log_file = new LogFile;
        ASSERT_EQ(log_file->open(1, log_name_.c_str(), nullptr), 1);
    }
    void TearDown() override
    {
        release_print_filters();
        delete log_file;
        delete cvar_list;
        std::remove(log_name_.c_str());
        print_reset();
        print_init();
    }
    const char* log_name() const { return log_name_.c_str(); }

private:
    std::string log_name_;
};

} // namespace

TEST_F(PrintFixture, FiltersChooseStreamsByLetter)
{
    PrintCapture capture;
    update_print_filters();
    cvar_list->find("Print_Filter")->set_string("de");
    cvar_list->find("Log_Filter")->set_string("");
    for (int s = 0; s < 7; ++s) {
        print_format(s, "line %d", s);
    }
    ASSERT_EQ(capture.lines().size(), 2u);
    EXPECT_EQ(capture.lines()[0].stream, 3);
    EXPECT_EQ(capture.lines()[0].text, "Error: line 3");
    EXPECT_EQ(capture.lines()[1].stream, 4);
    EXPECT_EQ(capture.lines()[1].text, "Debug: line 4");
    log_file->close();
    EXPECT_EQ(read_file(log_name()), "-------------------------------------------------------\n\n");
}

TEST_F(PrintFixture, DefaultFiltersGiveTheInitialMasks)
{
    const uint32_t expected[7] = {1, 3, 3, 3, 0, 0, 2};
    cvar_list->link(CVTYPE_STRING, 0, "Print_Filter", "x", 0)->set_string("mMwe");
    update_print_filters(); // links the existing variables, then recomputes
    for (int s = 0; s < 7; ++s) {
        EXPECT_EQ(stream_mask(s), expected[s]) << s;
    }
}

TEST_F(PrintFixture, ErrorLinesAreFlushedAtOnce)
{
    PrintCapture capture;
    print_string(P_ERROR, "disk on fire");
    print_string(P_LOG, "quiet note");
    // Only the error line is guaranteed on disk before close.
    EXPECT_NE(read_file(log_name()).find("Error: disk on fire\n"), std::string::npos);
    EXPECT_EQ(capture.count("quiet note"), 0); // stream 6 is log-only
    log_file->close();
    EXPECT_NE(read_file(log_name()).find("Log: quiet note\n"), std::string::npos);
}

TEST(Print, TrailingNewlinesAreRemoved)
{
    EXPECT_STREQ(format_temp("two%s", "\n\n"), "two");
    EXPECT_STREQ(format_temp("\n\n\n"), "");
    EXPECT_STREQ(format_temp("in\nside\n"), "in\nside");
}

namespace {
// A text that fills the whole ring leaves the write position at its start.
void rewind_ring() { format_temp("%s", std::string(PRINT_RING_SIZE - 1, '.').c_str()); }
} // namespace

TEST(Print, RingWrapsAndOverwritesOldTexts)
{
    rewind_ring();
    const std::string big(700, 'a');
    const char* first = format_temp("%s", big.c_str());
    const char* second = format_temp("%s", big.c_str());
    EXPECT_EQ(second, first + 701);
    const char* third = format_temp("%s", std::string(700, 'b').c_str()); // no room left: wraps
    EXPECT_EQ(third, first);
    EXPECT_EQ(std::string(first), std::string(700, 'b'));
}

// The new text wraps to the start of the ring, where its own argument lies.
TEST(Print, TextFormattedFromTheRingSurvivesTheWrap)
{
    const std::string body(1000, 'a');
    rewind_ring();
    const char* const earlier = format_temp("%s", body.c_str());
    EXPECT_EQ(std::string(format_temp("<%s>", earlier)), "<" + body + ">");

    PrintCapture capture;
    rewind_ring();
    print_format(P_WARNING, "%s", body.c_str()); // the prefixed line is made from this one
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text, "Warning: " + body);
}

TEST(Print, OverlongTextIsCutToTheRing)
{
    const std::string huge(5000, 'z');
    const std::string got = format_temp("%s", huge.c_str());
    EXPECT_EQ(got.size(), static_cast<size_t>(PRINT_RING_SIZE - 1));
    EXPECT_STREQ(format_temp("after"), "after");
}

TEST(Print, TaggedLinesNeedAHookAndLeaveTheRingAlone)
{
    set_tagged_hook(nullptr, 0);
    rewind_ring();
    const char* before = format_temp("x");
    print_tagged(make_tag("FPS0"), "%s", std::string(200, 'q').c_str());
    const char* after = format_temp("y");
    EXPECT_EQ(after, before + 2);

    struct Seen {
        uint32_t tag = 0;
        std::string text;
    } seen;
    set_tagged_hook([](uint32_t tag, const char* text, uintptr_t c) {
        reinterpret_cast<Seen*>(c)->tag = tag;
        reinterpret_cast<Seen*>(c)->text = text;
    }, reinterpret_cast<uintptr_t>(&seen));
    print_tagged(make_tag("FPS1"), "FPS: %.1f", 60.0);
    set_tagged_hook(nullptr, 0);
    EXPECT_EQ(seen.tag, 0x31535046u); // "FPS1", first character lowest
    EXPECT_EQ(seen.text, "FPS: 60.0");
}

TEST(Print, StreamsWithoutHandlerOrMaskAreOff)
{
    PrintCapture capture;
    set_stream_handler(P_MESSAGE, nullptr, 0);
    print_string(P_MESSAGE, "gone");
    set_stream_mask(P_IMPORTANT, 0);
    print_string(P_IMPORTANT, "gone too");
    print_string(P_WARNING, "kept");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text, "Warning: kept");
    print_init();
}

TEST(Print, PrefixIsCutTo31Characters)
{
    PrintCapture capture;
    set_stream_prefix(7, std::string(40, 'p').c_str());
    set_stream_mask(7, P_SHOW);
    print_string(7, "!");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text, std::string(31, 'p') + "!");
    print_init();
}

TEST(LogFile, OpenWritesHeaderAndModeZeroOnlyCloses)
{
    LogFile log;
    ASSERT_EQ(log.open(1, "logfile_test.log", "*** Kavrin started, %s ***\n"), 1);
    log.write_line("hello", 0);
    EXPECT_EQ(log.open(0, nullptr, nullptr), 1);
    EXPECT_FALSE(log.is_open());
    const std::string text = read_file("logfile_test.log");
    EXPECT_EQ(text.rfind("*** Kavrin started, ", 0), 0u);
    EXPECT_NE(text.find(" ***\nhello\n-------------------------------------------------------\n\n"), std::string::npos);
    ASSERT_EQ(log.open(2, "logfile_test.log", nullptr), 1);
    log.write_line("more", LOG_FLUSH);
    log.close();
    EXPECT_NE(read_file("logfile_test.log").find("\n\nmore\n---"), std::string::npos);
    std::remove("logfile_test.log");
}

TEST(LogFile, UnopenableFileFails)
{
    LogFile log;
    EXPECT_EQ(log.open(1, "no/such/dir/x.log", nullptr), 0);
    EXPECT_FALSE(log.is_open());
}

TEST(PrintDeath, BadStreamStopsTheProgram)
{
    EXPECT_EXIT(print_string(16, "x"), ::testing::ExitedWithCode(1), "Assertion failed");
}
