#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/input_event.h"
#include "core/key_codes.h"
#include "core/print.h"
#include "fake_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        print_init();
        cvar_list = new ConfigVariableList;
        cmd_ = new ConsCmd;
        ASSERT_EQ(cmd_->register_builtins(), 1);
        cmd_->set_permissions(0, 0, 0x200, 0, 0x230);
        console_ = new Console;
        ASSERT_EQ(console_->init(nullptr, cmd_), 1);
        ASSERT_EQ(console_->init(&screen_, cmd_), 1);
    }

    void TearDown() override
    {
        console_->release_print();
        delete console_;
        for (ConfigVariable* v : linked_) {
            cvar_list->release(v);
        }
        delete cmd_;
        delete cvar_list;
        cvar_list = nullptr;
    }

    void key(uint32_t code, uint32_t kind = INPUT_KEY_DOWN) { last_used_ = console_->input_key({code, kind, 0.0}); }
    void type(const char* text)
    {
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p == '_') {
                key(KEY_LSHIFT);
                key('-');
                key(KEY_LSHIFT, INPUT_KEY_UP);
            } else {
                key(static_cast<uint32_t>(*p));
            }
        }
    }

    void message_lines(int first, int last)
    {
        for (int i = first; i <= last; ++i) {
            print_format(P_MESSAGE, "line %d", i);
        }
    }

    // What the hidden overlay shows at tick now.
    Rows overlay(int32_t now)
    {
        console_->update(now);
        return screen_.rows_shown();
    }

    FakeScreen screen_;
    ConsCmd* cmd_ = nullptr;
    Console* console_ = nullptr;
    int last_used_ = -1;
    std::vector<ConfigVariable*> linked_;
};

} // namespace

TEST_F(ConsoleTest, FullScrollBackDropsTheOldestEightLines)
{
    message_lines(1, 257);
    ASSERT_EQ(console_->line_count(), 249);
    EXPECT_STREQ(console_->line(0), "line 9");
    EXPECT_STREQ(console_->line(248), "line 257");
}

TEST_F(ConsoleTest, MessagesSplitIntoLinesAndLongLinesAreCut)
{
    Console::output_handler(P_MESSAGE, "one\ntwo\nthree", reinterpret_cast<uintptr_t>(console_));
    Console::output_handler(P_MESSAGE, "last\n", reinterpret_cast<uintptr_t>(console_));
    Console::output_handler(P_MESSAGE, "", reinterpret_cast<uintptr_t>(console_));
    ASSERT_EQ(console_->line_count(), 6);
    const Rows expected = {"one", "two", "three", "last", "", ""};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(console_->line(i), expected[i]);
    }
    print_format(P_WARNING, "%s", std::string(300, 'w').c_str());
    EXPECT_EQ(std::string(console_->line(6)), "Warning: " + std::string(118, 'w'));
}

TEST_F(ConsoleTest, HiddenOverlayShowsTheTenNewestLinesFor500Ticks)
{
    message_lines(1, 12);
    Rows expected;
    for (int i = 3; i <= 12; ++i) {
        expected.push_back("line " + std::to_string(i));
    }
    EXPECT_EQ(overlay(1000), expected);
    EXPECT_EQ(console_->line_expiry(11), 1500);
    EXPECT_EQ(overlay(1500), expected);
    print_string(P_MESSAGE, "late");
    EXPECT_EQ(overlay(1501), Rows{"late"});
    EXPECT_EQ(overlay(2001), Rows{"late"});
    EXPECT_EQ(overlay(2002), Rows{});
    EXPECT_TRUE(screen_.texts().empty());
}

TEST_F(ConsoleTest, TaggedLinesComeFirstAndLeaveRoomForOneMessageLine)
{
    message_lines(1, 3);
    for (int i = 0; i < 12; ++i) {
        const char tag[5] = {'T', 'A', static_cast<char>('a' + i), '0', '\0'};
        print_tagged(make_tag(tag), "status %d", i);
    }
    const Rows rows = overlay(10);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows.back(), "line 3");
    // The last free slots are taken first, so slot order is the reverse of printing.
    EXPECT_EQ(rows.front(), "status 11");
    // A status line printed again keeps its slot and its text is replaced.
    print_tagged(make_tag("TAl0"), "status 11 again");
    EXPECT_EQ(overlay(11).front(), "status 11 again");
    // Tagged lines last 100 ticks.
    EXPECT_EQ(overlay(110).size(), 10u);
    EXPECT_EQ(overlay(111), (Rows{"status 11 again", "line 1", "line 2", "line 3"}));
    EXPECT_EQ(overlay(112), (Rows{"line 1", "line 2", "line 3"}));
}

TEST_F(ConsoleTest, FullTaggedTableReusesTheSlotThatExpiresFirst)
{
    for (int i = 0; i < CONSOLE_TAGGED; ++i) {
        print_tagged(0x100u + static_cast<uint32_t>(i), "slot %d", i);
        console_->update(i);
    }
    // Tag 0x100 went to the last slot at tick 0, so that slot expires first;
    // the next oldest is the slot before it.
    print_tagged(0x999u, "newcomer");
    EXPECT_EQ(console_->tag(CONSOLE_TAGGED - 1), 0x999u);
    print_tagged(0x100u, "old tag");
    EXPECT_EQ(console_->tag(CONSOLE_TAGGED - 2), 0x100u);
    EXPECT_STREQ(console_->tagged_text(CONSOLE_TAGGED - 2), "old tag");
    // A slot whose expiry is not set yet is never the one replaced, except slot 0.
    print_tagged(0x998u, "third");
    EXPECT_EQ(console_->tag(CONSOLE_TAGGED - 3), 0x998u);
}

TEST_F(ConsoleTest, ClearEmptiesTheOverlayButKeepsTheScrollBack)
{
    message_lines(1, 5);
    EXPECT_EQ(overlay(0).size(), 5u);
    console_->clear();
    EXPECT_EQ(overlay(1), Rows{});
    ASSERT_EQ(console_->show(1), 1);
    console_->update(2);
    EXPECT_EQ(screen_.rows_shown(screen_.text_rows() - 1).size(), 5u);
}

TEST_F(ConsoleTest, ShownConsoleScrollsBackThroughTheLines)
{
    message_lines(1, 40);
    ASSERT_EQ(console_->show(1), 1);
    console_->update(0);
    // 30 text rows: 24 rows of lines, the input line on the last row.
    Rows rows = screen_.rows_shown(29);
    ASSERT_EQ(rows.size(), 24u);
    EXPECT_EQ(rows.front(), "line 17");
    EXPECT_EQ(rows.back(), "line 40");
    key(KEY_PAGEUP);
    key(KEY_PAD9);
    console_->update(1);
    EXPECT_EQ(screen_.rows_shown(29).back(), "line 38");
    key(KEY_HOME);
    console_->update(2);
    EXPECT_EQ(console_->scroll(), 16);
    EXPECT_EQ(screen_.rows_shown(29).front(), "line 1");
    key(KEY_PAGEDN);
    console_->update(3);
    EXPECT_EQ(screen_.rows_shown(29).front(), "line 2");
    key(KEY_END);
    console_->update(4);
    EXPECT_EQ(screen_.rows_shown(29).back(), "line 40");
    // A new line returns the display to the newest.
    key(KEY_HOME);
    print_string(P_MESSAGE, "newest");
    console_->update(5);
    EXPECT_EQ(screen_.rows_shown(29).back(), "newest");
    // Hiding removes the input line; the overlay takes the rows again.
    ASSERT_EQ(console_->show(0), 0);
    console_->update(6);
    EXPECT_EQ(screen_.texts().size(), 10u);
}

TEST_F(ConsoleTest, RowsTheScreenRefusesAreNotDrawn)
{
    screen_.set_capacity(3);
    message_lines(1, 8);
    EXPECT_EQ(overlay(0), (Rows{"line 1", "line 2", "line 3"}));
    screen_.set_capacity(0);
    ASSERT_EQ(console_->show(0), 0);
    EXPECT_EQ(console_->show(1), 0);
}

TEST_F(ConsoleTest, KeysPassThroughWhileHiddenAndWithoutCharacter)
{
    key('a');
    EXPECT_EQ(last_used_, 0);
    key(KEY_ENTER);
    EXPECT_EQ(last_used_, 0);
    ASSERT_EQ(console_->show(1), 1);
    key(key_f(1));
    EXPECT_EQ(last_used_, 0);
    key('a', INPUT_KEY_UP);
    EXPECT_EQ(last_used_, 0);
    key(KEY_LSHIFT);
    EXPECT_EQ(last_used_, 0);
    key('a');
    EXPECT_EQ(last_used_, 1);
    key(KEY_LSHIFT, INPUT_KEY_UP);
    key('1', INPUT_KEY_REPEAT);
    key(KEY_RSHIFT);
    key('1');
    EXPECT_STREQ(console_->input_line(), ">A1!");
    key(KEY_BACKSPACE);
    EXPECT_STREQ(console_->input_line(), ">A1");
    for (int i = 0; i < 200; ++i) {
        key('x');
    }
    EXPECT_EQ(std::string(console_->input_line()).size(), 127u);
    for (int i = 0; i < 200; ++i) {
        key(KEY_BACKSPACE);
    }
    EXPECT_STREQ(console_->input_line(), ">");
}

TEST_F(ConsoleTest, EnterHandsTheLineToTheCommandSetAndKeepsHistory)
{
    ASSERT_EQ(console_->show(1), 1);
    key(KEY_ENTER);
    EXPECT_EQ(last_used_, 1);
    EXPECT_EQ(console_->line_count(), 0);
    type("abc");
    key(KEY_ENTER);
    EXPECT_STREQ(console_->line(0), ">abc");
    EXPECT_STREQ(cmd_->buffer(), "abc\n");
    type("abc");
    key(KEY_PADENTER);
    EXPECT_EQ(console_->history_count(), 1);
    key(KEY_UP);
    EXPECT_STREQ(console_->input_line(), ">abc");
    key(KEY_PAD8);
    EXPECT_STREQ(console_->input_line(), ">");
    key(KEY_UP);
    EXPECT_STREQ(console_->input_line(), ">");
    key(KEY_DOWN);
    EXPECT_STREQ(console_->input_line(), ">abc");
    key(KEY_PAD2);
    EXPECT_STREQ(console_->input_line(), ">");
}

TEST_F(ConsoleTest, FullHistoryDropsTheOldestLine)
{
    ASSERT_EQ(console_->show(1), 1);
    for (int i = 0; i < CONSOLE_HISTORY; ++i) {
        type(("l" + std::to_string(i)).c_str());
        key(KEY_ENTER);
    }
    ASSERT_EQ(console_->history_count(), 64);
    type("new");
    key(KEY_ENTER);
    EXPECT_STREQ(console_->history(0), ">l1");
    EXPECT_STREQ(console_->history(63), ">new");
    type("new");
    key(KEY_ENTER);
    EXPECT_EQ(console_->history_count(), 63);
    EXPECT_STREQ(console_->history(0), ">l2");
    EXPECT_STREQ(console_->history(62), ">new");
}

TEST_F(ConsoleTest, TabCyclesThroughCommandsThenVariables)
{
    ASSERT_EQ(cmd_->add_command("Sng_Play", 0, [](int, int, const char* const*, void*) {}, nullptr, nullptr, 0), 1);
    ASSERT_EQ(console_->show(1), 1);
    type("s");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">Set ");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">Sng_Play ");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">Set ");

    linked_.push_back(cvar_list->link(CVTYPE_INT, 0, "R_Beta", "1", 0));
    linked_.push_back(cvar_list->link(CVTYPE_INT, 0, "R_Alpha", "1", 0));
    linked_.push_back(cvar_list->link(CVTYPE_INT, 0, "S_Other", "1", 0));
    type("r_");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">Set R_Alpha");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">Set R_Beta");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">Set R_Alpha");
    // An abbreviated variable command completes too; other words do not.
    key(KEY_ENTER);
    type("cv_a  s_");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">cv_a  S_Other");
    key(KEY_ENTER);
    type("echo r_");
    key(KEY_TAB);
    EXPECT_STREQ(console_->input_line(), ">echo r_");
}

TEST_F(ConsoleTest, RebindingKeepsTheInputLineShownOnTheNewScreen)
{
    ASSERT_EQ(console_->show(1), 1);
    FakeScreen other(20);
    ASSERT_EQ(console_->init(&other, cmd_), 1);
    ASSERT_EQ(other.texts().size(), 1u);
    EXPECT_EQ(other.texts().begin()->second.row, 19);
    FakeScreen full(20, 0);
    EXPECT_EQ(console_->init(&full, cmd_), 0);
}

TEST_F(ConsoleTest, ReleasedConsoleNoLongerReceivesPrints)
{
    console_->release_print();
    print_string(P_MESSAGE, "to standard output");
    EXPECT_EQ(console_->line_count(), 0);
}
