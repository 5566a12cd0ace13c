#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/print.h"
#include "renderer/screen_manager.h"
#include "support/screen_fixture.h"
#include "tools/assets/small_font.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ScreenTextTest : public ScreenBase {
protected:
    void SetUp() override
    {
        ScreenBase::SetUp();
        ASSERT_EQ(screen_.init(&mode_, "backgrnd", "loading", "small.fnt"), 1);
    }
    void TearDown() override
    {
        screen_.shutdown();
        ScreenBase::TearDown();
    }

    int dirty_count()
    {
        int n = 0;
        for (int32_t i = screen_.dirty_list().first(); i >= 0; i = screen_.dirty_list().next()) {
            ++n;
        }
        return n;
    }

    MemoryVideoMode mode_{320, 220, 2};
    ScreenManager screen_;
};

constexpr int ADVANCE = tools::SMALL_FONT_ADVANCE;
constexpr int LINE = tools::SMALL_FONT_LINE;

} // namespace

TEST_F(ScreenTextTest, TextsAreMeasuredAndClippedToTheScreen)
{
    EXPECT_EQ(screen_.text_rows(), 220 / LINE);
    const char* const text = "hello";
    const int id = screen_.add_text(2, 3, text);
    ASSERT_GE(id, 0);
    const ScreenText& t = screen_.text(id);
    EXPECT_EQ(t.string, text);
    EXPECT_EQ(t.rect.left, 2 * ADVANCE);
    EXPECT_EQ(t.rect.right, 2 * ADVANCE + 5 * ADVANCE);
    EXPECT_EQ(t.rect.top, 3 * LINE);
    EXPECT_EQ(t.rect.bottom, 4 * LINE);
    const std::string wide(100, 'w');
    screen_.set_text(id, wide.c_str());
    EXPECT_EQ(screen_.text(id).rect.right, 320);
    EXPECT_EQ(dirty_count(), 0);
    // Narrower text queues the old rectangle, with the mode's page count.
    screen_.set_text(id, "x");
    ASSERT_EQ(dirty_count(), 1);
    EXPECT_EQ(screen_.dirty(screen_.dirty_list().first()).rect.right, 320);
    EXPECT_EQ(screen_.dirty(screen_.dirty_list().first()).count, 2);
    screen_.remove_text(id);
    EXPECT_FALSE(screen_.text_active(id));
    EXPECT_EQ(dirty_count(), 2);
    // Negative ids are ignored.
    screen_.set_text(-1, "x");
    screen_.remove_text(-1);
}

TEST_F(ScreenTextTest, SixtyFifthTextIsRefusedUntilOneIsRemoved)
{
    int last = -1;
    for (int i = 0; i < SCREEN_TEXTS; ++i) {
        last = screen_.add_text(0, i % 20, "t");
        ASSERT_GE(last, 0);
    }
    EXPECT_EQ(screen_.add_text(0, 0, "t"), -1);
    screen_.remove_text(last);
    EXPECT_GE(screen_.add_text(0, 0, "t"), 0);
}

TEST_F(ScreenTextTest, ConsoleDrawsItsRowsOnTheScreenManager)
{
    ConsCmd cmd;
    ASSERT_EQ(cmd.register_builtins(), 1);
    Console console;
    ASSERT_EQ(console.init(nullptr, &cmd), 1);
    ASSERT_EQ(console.init(&screen_, &cmd), 1);
    print_string(P_MESSAGE, "first");
    print_string(P_MESSAGE, "second");
    console.update(0);
    ASSERT_EQ(console.show(1), 1);
    console.update(1);
    int shown = 0;
    bool input_on_last_row = false;
    for (int32_t i = screen_.text_list().first(); i >= 0; i = screen_.text_list().next()) {
        ++shown;
        const ScreenText& t = screen_.text(i);
        if (std::string(t.string) == ">") {
            input_on_last_row = t.rect.top == (220 / LINE - 1) * LINE;
        }
    }
    EXPECT_EQ(shown, 3);
    EXPECT_TRUE(input_on_last_row);
    console.release_print();
}
