// The demo's console keys, as keys.cfg binds them: the key left of 1 opens
// the console; while it is shown its input line takes that key (it types a
// character), so Escape, which types none, closes it.
#include "demo_session.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "core/console.h"
#include "engine/engine.h"

#include <string>

namespace {

constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t VK_TILDE = 0xC0; // the key left of 1
constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_BACK = 0x08;

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
    // Small letters, typed key by key as a player does.
    void type(const std::string& letters)
    {
        // The keyboard's scan codes of a to z.
        static constexpr uint8_t scans[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                              0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                              0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
        for (const char c : letters) {
            ASSERT_TRUE(c >= 'a' && c <= 'z') << c;
            ASSERT_NO_FATAL_FAILURE(tap(static_cast<uint32_t>(c - 'a' + 'A'), scans[c - 'a']));
        }
    }
    // How many lines of the console's scroll-back hold `text`.
    int lines_with(const std::string& text) const
    {
        const Console& console = *client().console();
        int n = 0;
        for (int i = 0; i < console.line_count(); ++i) {
            n += std::string(console.line(i)).find(text) != std::string::npos ? 1 : 0;
        }
        return n;
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

// As README and the greeting tell it: the key left of 1 opens the console,
// a command is typed and run, Escape closes it; opened again, its input line
// holds nothing but the prompt, and the next command runs too. Inside the
// console the key left of 1 types its character, which BackSpace takes back.
TEST_F(ConsoleKeys, OpenTypeCloseAndOpenAgainLeaveNoStrayCharacter)
{
    ASSERT_NO_FATAL_FAILURE(start());
    run("Call keys.cfg");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    const Console& console = *client().console();
    const std::string prompt(1, CONSOLE_PROMPT);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(tap(VK_TILDE, SCAN_TILDE));
        ASSERT_EQ(console.shown(), 1) << "opened";
        EXPECT_EQ(console.input_line(), prompt) << "the key that opened it typed nothing";
        ASSERT_NO_FATAL_FAILURE(type("version"));
        EXPECT_EQ(console.input_line(), prompt + "version");
        ASSERT_NO_FATAL_FAILURE(tap(VK_RETURN, SCAN_RETURN));
        EXPECT_EQ(lines_with(prompt + "version"), round) << "the line as typed";
        EXPECT_EQ(lines_with("Kavrin 4.24a"), round) << "the command ran";
        ASSERT_NO_FATAL_FAILURE(tap(VK_ESCAPE, SCAN_ESCAPE));
        ASSERT_EQ(console.shown(), 0) << "closed by Escape";
    }
    EXPECT_EQ(lines_with("Unknown command"), 0);

    ASSERT_NO_FATAL_FAILURE(tap(VK_TILDE, SCAN_TILDE));
    ASSERT_NO_FATAL_FAILURE(tap(VK_TILDE, SCAN_TILDE));
    EXPECT_EQ(console.shown(), 1);
    EXPECT_EQ(console.input_line(), prompt + "`") << "inside the console the key types its character";
    ASSERT_NO_FATAL_FAILURE(tap(VK_BACK, SCAN_BACK));
    EXPECT_EQ(console.input_line(), prompt);
}

} // namespace
