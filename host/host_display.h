#pragma once
// The display: desktop size and full-screen display modes, in the shape the
// video drivers expect of the display-settings calls. The modes come from SDL
// unless a test installs its own display.
#include <cstdint>

namespace host {

enum DesktopResult {
    DESKTOP_OK = 0,
    DESKTOP_NO_WINDOW = 1, // no desktop at all
    DESKTOP_NO_RECT = 2,   // a desktop whose size cannot be read
};

struct DisplayMode {
    uint32_t bits_per_pixel;
    uint32_t width;
    uint32_t height;
    uint32_t frequency; // Hz, 0 when unknown
};

// Fields of a display-mode request.
constexpr uint32_t DM_BITSPERPEL = 0x40000;
constexpr uint32_t DM_PELSWIDTH = 0x80000;
constexpr uint32_t DM_PELSHEIGHT = 0x100000;
constexpr uint32_t DM_DISPLAYFLAGS = 0x200000;
constexpr uint32_t DM_DISPLAYFREQUENCY = 0x400000;

// Flags of change_display_settings.
constexpr uint32_t CDS_TEST = 2;
constexpr uint32_t CDS_FULLSCREEN = 4;
// Results of change_display_settings.
constexpr int32_t DISP_CHANGE_SUCCESSFUL = 0;
constexpr int32_t DISP_CHANGE_BADMODE = -2;

class Display {
public:
    virtual ~Display() = default;
    virtual DesktopResult desktop_size(int32_t& width, int32_t& height) = 0;
    // The n-th display mode; false past the last.
    virtual bool enum_mode(uint32_t n, DisplayMode& mode) = 0;
    // Switches to a mode (with the fields given), tests it only with CDS_TEST,
    // or returns to the desktop's mode when mode is null.
    virtual int32_t change_mode(const DisplayMode* mode, uint32_t fields, uint32_t flags) = 0;
    // Colour bits of the application window's pixels, counted as the modes
    // count theirs; 0 without a window.
    virtual uint32_t window_bits();
};

// The display in use: SDL's unless a test set another.
Display& display();
// Installs a display (null restores SDL's); returns the previous one.
Display* set_display(Display* d);

inline DesktopResult desktop_size(int32_t& width, int32_t& height) { return display().desktop_size(width, height); }
inline bool enum_display_settings(uint32_t n, DisplayMode& mode) { return display().enum_mode(n, mode); }
inline int32_t change_display_settings(const DisplayMode* mode, uint32_t fields, uint32_t flags)
{
    return display().change_mode(mode, fields, flags);
}

// A display whose desktop and modes a test sets; it accepts a mode that is
// listed or whose size is in accepted_sizes, and records every change.
class FakeDisplay final : public Display {
public:
    static constexpr int MAX_MODES = 64;

    DesktopResult desktop_size(int32_t& width, int32_t& height) override;
    bool enum_mode(uint32_t n, DisplayMode& mode) override;
    int32_t change_mode(const DisplayMode* mode, uint32_t fields, uint32_t flags) override;
    uint32_t window_bits() override { return window_bits_value; }

    void add_mode(uint32_t bits, uint32_t width, uint32_t height, uint32_t frequency);
    void accept_size(uint32_t bits, uint32_t width, uint32_t height);

    DesktopResult desktop_result = DESKTOP_OK;
    int32_t width = 1024;
    int32_t height = 768;
    DisplayMode modes[MAX_MODES] = {};
    int mode_count = 0;
    DisplayMode accepted[MAX_MODES] = {};
    int accepted_count = 0;
    bool refuse_all = false;
    uint32_t window_bits_value = 32;
    // The last mode set for real (not a test); bits 0 after a return to the desktop.
    DisplayMode current = {};
    uint32_t current_fields = 0;
    int changes = 0;
    int restores = 0;
};

} // namespace host
