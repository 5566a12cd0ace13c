#include "platform_fixture.h"
#include "support/scan_codes.h"

#include "core/key_codes.h"

namespace {

constexpr uint32_t VK_A = 'A';

} // namespace

TEST_F(PlatformTest, EventTimesAreSecondsAfterTheTimerBase)
{
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, false, 0.25);
    const std::vector<InputEvent> got = drain(0.0, 1.0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].key_code, uint32_t{'a'});
    EXPECT_EQ(got[0].kind, INPUT_KEY_DOWN);
    EXPECT_DOUBLE_EQ(got[0].time, 0.25);
}

TEST_F(PlatformTest, MessagesBeforeTheSliceAreDroppedAndLaterOnesWait)
{
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, false, 0.100); // before the slice: lost
    push_key(host::WM_KEYDOWN, 'B', SCAN_B, false, false, 0.300);  // in the slice
    push_key(host::WM_KEYUP, 'B', SCAN_B, false, true, 0.700);     // next frame
    push_key(host::WM_KEYUP, VK_A, SCAN_A, false, true, 0.900);    // the frame after

    std::vector<InputEvent> got = drain(0.2, 0.5);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].key_code, uint32_t{'b'});
    EXPECT_EQ(events.size(), 1) << "the first later message is held by the pump, the last still queued";

    // Asking again for the same slice gives nothing: the kept message is later.
    EXPECT_EQ(pump_messages(0.2, 0.5), nullptr);

    got = drain(0.5, 0.8);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, INPUT_KEY_UP);
    EXPECT_DOUBLE_EQ(got[0].time, 0.7);

    got = drain(0.8, 1.0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].key_code, uint32_t{'a'});
    EXPECT_EQ(events.size(), 0);
}

TEST_F(PlatformTest, SliceBoundsAreInclusive)
{
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, false, 0.5);
    push_key(host::WM_KEYUP, VK_A, SCAN_A, false, true, 1.0);
    EXPECT_EQ(drain(0.5, 1.0).size(), 2u);
}

TEST_F(PlatformTest, MessageOlderThanTheTimerBaseCountsAsTimeZero)
{
    capture.show_all();
    ASSERT_TRUE(events.push(host::WM_KEYDOWN, VK_A, host::key_lparam(SCAN_A, false, false, false), BASE_MS - 1));
    const std::vector<InputEvent> got = drain(0.0, 0.1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].time, 0.0);
    EXPECT_EQ(capture.count("Win32 pump: avoiding negative event"), 1);
}

TEST_F(PlatformTest, MessageTimesCountAcrossTheTimersWrap)
{
    clock.set_micros((int64_t{0xFFFFFFFF} - 99) * 1000); // 100 ms before the wrap
    timer_shutdown();
    ASSERT_EQ(timer_init(), 0);
    const uint32_t after_wrap = timer_base() + 300u; // 200 ms past 2^32
    ASSERT_LT(after_wrap, timer_base());
    ASSERT_TRUE(events.push(host::WM_KEYDOWN, VK_A, host::key_lparam(SCAN_A, false, false, false), after_wrap));
    const std::vector<InputEvent> got = drain(0.25, 0.35);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NEAR(got[0].time, 0.3, 1e-9);
}

TEST_F(PlatformTest, HeldKeyGivesDownRepeatsAndOneUp)
{
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, false, 0.10);
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, true, 0.20);
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, true, 0.30);
    push_key(host::WM_KEYUP, VK_A, SCAN_A, false, true, 0.40);
    std::vector<uint32_t> kinds;
    for (const InputEvent& e : drain(0.0, 1.0)) {
        kinds.push_back(e.kind);
    }
    EXPECT_EQ(kinds, (std::vector<uint32_t>{INPUT_KEY_DOWN, INPUT_KEY_REPEAT, INPUT_KEY_REPEAT, INPUT_KEY_UP}));
}

TEST_F(PlatformTest, MouseAndWindowMessagesGiveNoEventButTakeEffect)
{
    push(host::WM_LBUTTONDOWN, 0, 0, 0.1);
    push(host::WM_MOUSEWHEEL, host::wheel_wparam(host::WHEEL_DELTA), 0, 0.1);
    push(host::WM_PAINT, 0, 0, 0.1);
    push_key(host::WM_KEYDOWN, 0x5B, 0x6F, false, false, 0.1); // a key without a code
    push_key(host::WM_KEYDOWN, VK_A, SCAN_A, false, false, 0.2);
    const std::vector<InputEvent> got = drain(0.0, 1.0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].key_code, uint32_t{'a'});
    EXPECT_TRUE(host::window_take_repaint());
    InputDeviceState state;
    mouse_device()->read(state, 0.0, 1.0);
    EXPECT_EQ(state.buttons, MOUSE_BUTTON_LEFT);
}

TEST_F(PlatformTest, ClosingTheWindowRaisesTheClientsQuit)
{
    ConfigVariable* const quit = cvar_list->link(CVTYPE_BOOL, 0, "Quit", "0", 0);
    ASSERT_NE(quit, nullptr);
    host::request_quit();
    EXPECT_EQ(pump_messages(0.0, 1.0), nullptr);
    EXPECT_TRUE(quit->is_true());
    cvar_list->release(quit);
}

TEST_F(PlatformTest, QuitRequestWaitsUntilTheClientHasItsVariable)
{
    host::request_quit();
    EXPECT_EQ(pump_messages(0.0, 1.0), nullptr);
    ConfigVariable* const quit = cvar_list->link(CVTYPE_BOOL, 0, "Quit", "0", 0);
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(pump_messages(0.0, 1.0), nullptr);
    EXPECT_TRUE(quit->is_true());
    cvar_list->release(quit);
    EXPECT_FALSE(host::take_quit_request());
}
