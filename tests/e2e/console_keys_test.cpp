// The demo's console keys, as keys.cfg binds them: the key left of 1 opens
// the console; while it is shown its input line takes that key (it types a
// character), so Escape, which types none, closes it.
#include "demo_session.h"

#include "client/client.h"
#include "core/console.h"
#include "engine/engine.h"

namespace {

constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t SCAN_ESCAPE = 0x01;
constexpr uint32_t VK_TILDE = 0xC0; // the key left of 1
constexpr uint32_t SCAN_TILDE = 0x29;

class ConsoleKeys : public e2e::DemoSession {
protected:
    void tap(uint32_t virtual_key, uint32_t scan)
    {
        key(virtual_key, scan, true);
        key(virtual_key, scan, false);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(frame(), 1);
        }
    }
};

TEST_F(ConsoleKeys, TheKeyLeftOfOneOpensTheConsoleAndEscapeClosesIt)
{
    ASSERT_NO_FATAL_FAILURE(start());
    run("Call keys.cfg");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    Console& console = *client().console();
    ASSERT_EQ(console.shown(), 0);
    tap(VK_TILDE, SCAN_TILDE);
    ASSERT_EQ(console.shown(), 1) << "opened";
    tap(VK_TILDE, SCAN_TILDE);
    EXPECT_EQ(console.shown(), 1) << "the input line took the key";
    tap(VK_ESCAPE, SCAN_ESCAPE);
    EXPECT_EQ(console.shown(), 0) << "closed by Escape";
    tap(VK_ESCAPE, SCAN_ESCAPE);
    EXPECT_EQ(console.shown(), 1) << "Escape opens it too";
}

} // namespace
