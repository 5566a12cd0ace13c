#include "platform_fixture.h"

#include "core/key_codes.h"
#include "core/key_names.h"
#include "host/host_keymap.h"

#include <set>
#include <string>

namespace {

struct KeyCase {
    const char* why;
    uint32_t virtual_key;
    uint32_t scan;
    bool extended;
    uint32_t by_scan;    // code in scan-code mode
    uint32_t by_virtual; // code in virtual-key mode
};

const KeyCase key_cases[] = {
    {"keypad 7, NumLock off", 0x24, 0x47, false, KEY_PAD7, KEY_PAD7},
    {"Home: keypad 7 with the extended flag", 0x24, 0x47, true, KEY_HOME, KEY_HOME},
    {"keypad 7, NumLock on", 0x67, 0x47, false, KEY_PAD7, KEY_PAD7},
    {"right shift reads as left shift", 0x10, 0x36, false, KEY_LSHIFT, KEY_LSHIFT},
    {"left shift", 0x10, 0x2A, false, KEY_LSHIFT, KEY_LSHIFT},
    {"right ctrl", 0x11, 0x1D, true, KEY_RCTRL, KEY_RCTRL},
    {"right alt", 0x12, 0x38, true, KEY_RALT, KEY_RALT},
    {"keypad enter", 0x0D, 0x1C, true, KEY_PADENTER, KEY_PADENTER},
    {"enter", 0x0D, 0x1C, false, KEY_ENTER, KEY_ENTER},
    {"keypad slash", 0x6F, 0x35, true, KEY_PADSLASH, KEY_PADSLASH},
    {"slash", 0xBF, 0x35, false, '/', '/'},
    {"print screen", 0x2C, 0x37, true, KEY_PRINTSCREEN, 0},
    {"keypad asterisk", 0x6A, 0x37, false, KEY_PADASTERISK, KEY_PADASTERISK},
    {"pause", 0x13, 0x45, false, KEY_PAUSE, KEY_PAUSE},
    {"num lock", 0x90, 0x45, true, KEY_NUMLOCK, KEY_NUMLOCK},
    {"delete", 0x2E, 0x53, true, KEY_DELETE, KEY_DELETE},
    {"keypad dot, NumLock off", 0x2E, 0x53, false, KEY_PADDOT, KEY_PADDOT},
    {"letter", 'Q', 0x10, false, 'q', 'q'},
    {"digit", '0', 0x0B, false, '0', '0'},
    {"tilde", 0xC0, 0x29, false, '`', '`'},
    {"F12", 0x7B, 0x58, false, key_f(12), key_f(12)},
    {"F24 only by virtual key", 0x87, 0x76, false, 0, key_f(24)},
    {"windows key", 0x5B, 0x5B, true, key_other(1), 0},
    {"102nd key", 0xE2, 0x56, false, '/', '/'},
};

uint32_t translated(KeyTranslator translate, const KeyCase& c)
{
    host::Message m;
    m.type = host::WM_KEYDOWN;
    m.wparam = c.virtual_key;
    m.lparam = host::key_lparam(c.scan, c.extended, false, false);
    InputEvent e;
    translate(m, e);
    return e.kind == 0 ? 0 : e.key_code;
}

} // namespace

TEST_F(PlatformTest, KeysTranslateByScanCodeAndByVirtualKey)
{
    for (const KeyCase& c : key_cases) {
        EXPECT_EQ(translated(translate_scan_message, c), c.by_scan) << c.why;
        EXPECT_EQ(translated(translate_key_message, c), c.by_virtual) << c.why;
    }
}

TEST_F(PlatformTest, ScanCodesAreTheDefaultAndMinusOptionChoosesVirtualKeys)
{
    EXPECT_EQ(key_translator(), &translate_scan_message);
    start({"+use_virtual_codes"});
    EXPECT_EQ(key_translator(), &translate_scan_message) << "the option is written with a minus sign only";
    start({"-USE_VIRTUAL_CODES"});
    EXPECT_EQ(key_translator(), &translate_key_message);
}

TEST_F(PlatformTest, KeyMessageKinds)
{
    struct {
        uint32_t type;
        bool previous;
        uint32_t kind;
    } const rows[] = {
        {host::WM_KEYDOWN, false, INPUT_KEY_DOWN},    {host::WM_KEYDOWN, true, INPUT_KEY_REPEAT},
        {host::WM_SYSKEYDOWN, false, INPUT_KEY_DOWN}, {host::WM_SYSKEYDOWN, true, INPUT_KEY_REPEAT},
        {host::WM_KEYUP, true, INPUT_KEY_UP},         {host::WM_SYSKEYUP, true, INPUT_KEY_UP},
    };
    for (const auto& r : rows) {
        host::Message m;
        m.type = r.type;
        m.lparam = host::key_lparam(0x1E, false, r.previous, false);
        InputEvent e;
        translate_scan_message(m, e);
        EXPECT_EQ(e.kind, r.kind) << std::hex << r.type << " previous " << r.previous;
    }
}

TEST(KeyTable, RowsNamesAndCharacters)
{
    const KeyRow* const rows = key_table();
    std::set<uint32_t> codes;
    std::set<std::string> names;
    for (int i = 0; i < KEY_TABLE_ROWS; ++i) {
        codes.insert(rows[i].code);
        names.insert(rows[i].name);
    }
    EXPECT_EQ(codes.size(), size_t{KEY_TABLE_ROWS});
    EXPECT_EQ(names.size(), size_t{KEY_TABLE_ROWS});
    EXPECT_EQ(rows[0].code, KEY_ESCAPE);
    EXPECT_STREQ(rows[KEY_TABLE_ROWS - 1].name, "Unknown");
    EXPECT_EQ(rows[KEY_TABLE_ROWS - 1].code, KEY_UNKNOWN);

    EXPECT_EQ(name_to_key("padenter"), KEY_PADENTER);
    EXPECT_EQ(name_to_key("PadEnter"), 168u);
    EXPECT_EQ(name_to_key("f24"), 192u);
    EXPECT_EQ(name_to_key("other16"), 239u);
    EXPECT_EQ(name_to_key("NoSuchKey"), KEY_UNKNOWN);
    EXPECT_EQ(name_to_key(""), KEY_UNKNOWN);
    EXPECT_STREQ(key_to_name(200), "Unknown");
    EXPECT_STREQ(key_to_name(KEY_RSHIFT), "RShift");
    EXPECT_STREQ(key_to_name('\''), "Apostrophe");

    EXPECT_EQ(key_to_char('a', 0), 'a');
    EXPECT_EQ(key_to_char('a', 1), 'A');
    EXPECT_EQ(key_to_char('2', 1), '@');
    EXPECT_EQ(key_to_char('\'', 1), '"');
    EXPECT_EQ(key_to_char(' ', 1), ' ');
    EXPECT_EQ(key_to_char(KEY_ENTER, 0), 0);
    EXPECT_EQ(key_to_char(200, 1), 0);
}

// SDL scancodes are USB usage numbers.
namespace {
constexpr int SDL_KP_7 = 95;
constexpr int SDL_HOME = 74;
constexpr int SDL_RSHIFT = 229;
constexpr int SDL_LALT = 226;
constexpr int SDL_A = 4;
constexpr int SDL_F10 = 67;
constexpr int SDL_KP_ENTER = 88;
constexpr int SDL_VOLUME_UP = 128;
} // namespace

TEST_F(PlatformTest, HostKeyEventsReachTheTranslatorsAsPcKeyboardMessages)
{
    struct {
        const char* why;
        int sdl;
        bool numlock;
        uint32_t by_scan;
        uint32_t by_virtual;
    } const rows[] = {
        {"keypad 7 with NumLock", SDL_KP_7, true, KEY_PAD7, KEY_PAD7},
        {"keypad 7 without NumLock", SDL_KP_7, false, KEY_PAD7, KEY_PAD7},
        {"Home", SDL_HOME, true, KEY_HOME, KEY_HOME},
        {"right shift", SDL_RSHIFT, false, KEY_LSHIFT, KEY_LSHIFT},
        {"keypad enter", SDL_KP_ENTER, false, KEY_PADENTER, KEY_PADENTER},
        {"letter", SDL_A, false, 'a', 'a'},
    };
    for (const auto& r : rows) {
        host::Message m;
        ASSERT_TRUE(host::key_message(r.sdl, true, false, r.numlock, false, 7, m)) << r.why;
        EXPECT_EQ(m.type, host::WM_KEYDOWN) << r.why;
        EXPECT_EQ(m.time, 7u);
        InputEvent e;
        translate_scan_message(m, e);
        EXPECT_EQ(e.key_code, r.by_scan) << r.why;
        InputEvent v;
        translate_key_message(m, v);
        EXPECT_EQ(v.key_code, r.by_virtual) << r.why;
    }
    host::Message m;
    EXPECT_FALSE(host::key_message(SDL_VOLUME_UP, true, false, false, false, 0, m));
}

TEST(HostKeymap, StateBitsAndSystemKeys)
{
    host::Message m;
    ASSERT_TRUE(host::key_message(SDL_A, true, false, false, false, 0, m));
    EXPECT_EQ(m.lparam & (host::KEY_PREVIOUS_DOWN | host::KEY_RELEASING), 0u);
    EXPECT_EQ((m.lparam >> 16) & 0xFF, 0x1Eu);
    ASSERT_TRUE(host::key_message(SDL_A, true, true, false, false, 0, m));
    EXPECT_NE(m.lparam & host::KEY_PREVIOUS_DOWN, 0u) << "a repeat";
    ASSERT_TRUE(host::key_message(SDL_A, false, false, false, false, 0, m));
    EXPECT_EQ(m.type, host::WM_KEYUP);
    EXPECT_NE(m.lparam & host::KEY_PREVIOUS_DOWN, 0u);
    EXPECT_NE(m.lparam & host::KEY_RELEASING, 0u);

    ASSERT_TRUE(host::key_message(SDL_LALT, true, false, false, false, 0, m));
    EXPECT_EQ(m.type, host::WM_SYSKEYDOWN);
    ASSERT_TRUE(host::key_message(SDL_F10, false, false, false, false, 0, m));
    EXPECT_EQ(m.type, host::WM_SYSKEYUP);
    ASSERT_TRUE(host::key_message(SDL_A, true, false, false, true, 0, m));
    EXPECT_EQ(m.type, host::WM_SYSKEYDOWN) << "a key while Alt is held";
    ASSERT_TRUE(host::key_message(SDL_HOME, true, false, false, false, 0, m));
    EXPECT_NE(m.lparam & host::KEY_EXTENDED, 0u);
    ASSERT_TRUE(host::key_message(SDL_KP_7, true, false, false, false, 0, m));
    EXPECT_EQ(m.lparam & host::KEY_EXTENDED, 0u);
    EXPECT_EQ(m.wparam, 0x24u) << "the navigation key's virtual code without NumLock";
}
