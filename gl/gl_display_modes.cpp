#include "gl/gl_display_modes.h"

#include "host/host_display.h"

#include <new>

GLDisplayMode* settings_info = nullptr;
int32_t settings_count = 0;

namespace {

constexpr uint32_t STANDARD_SIZES[][2] = {
    {320, 240}, {400, 300}, {512, 384}, {640, 480}, {800, 600},
    {960, 720}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200},
};
constexpr int32_t STANDARD_COUNT = sizeof STANDARD_SIZES / sizeof STANDARD_SIZES[0];

// A display that keeps answering is not listed further.
constexpr uint32_t MAX_LISTED_MODES = 4096;

constexpr uint32_t LISTED_FIELDS =
    host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT | host::DM_DISPLAYFLAGS | host::DM_DISPLAYFREQUENCY;
constexpr uint32_t STANDARD_FIELDS = host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT;

bool accepted(const host::DisplayMode& mode, uint32_t fields)
{
    return host::change_display_settings(&mode, fields, host::CDS_TEST | host::CDS_FULLSCREEN) ==
           host::DISP_CHANGE_SUCCESSFUL;
}

bool listed(int32_t width, int32_t height)
{
    for (int32_t i = 0; i < settings_count; ++i) {
        if (settings_info[i].width == width && settings_info[i].height == height) {
            return true;
        }
    }
    return false;
}

// Sizes beyond what a signed side holds are no display's.
bool fits(const host::DisplayMode& m) { return m.width <= 0x7FFFFFFFu && m.height <= 0x7FFFFFFFu; }

} // namespace

int video_enumerate_modes()
{
    video_free_mode_infos();
    const uint32_t bits = host::display().window_bits();
    host::DisplayMode mode = {};
    uint32_t n = 0;
    while (n < MAX_LISTED_MODES && host::enum_display_settings(n, mode)) {
        ++n;
    }
    settings_info = new (std::nothrow) GLDisplayMode[n + STANDARD_COUNT];
    if (settings_info == nullptr) {
        return 0;
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (!host::enum_display_settings(i, mode) || mode.bits_per_pixel != bits || !fits(mode) ||
            !accepted(mode, LISTED_FIELDS)) {
            continue;
        }
        settings_info[settings_count++] = {static_cast<int32_t>(i), static_cast<int32_t>(mode.width),
                                           static_cast<int32_t>(mode.height), static_cast<int32_t>(bits),
                                           static_cast<int32_t>(mode.frequency), 0};
    }
    for (const auto& size : STANDARD_SIZES) {
        const int32_t w = static_cast<int32_t>(size[0]);
        const int32_t h = static_cast<int32_t>(size[1]);
        if (listed(w, h)) {
            continue;
        }
        const host::DisplayMode standard = {bits, size[0], size[1], 0};
        if (accepted(standard, STANDARD_FIELDS)) {
            settings_info[settings_count++] = {-1, w, h, static_cast<int32_t>(bits), 0, 0};
        }
    }
    return 1;
}

void video_free_mode_infos()
{
    delete[] settings_info;
    settings_info = nullptr;
    settings_count = 0;
}
