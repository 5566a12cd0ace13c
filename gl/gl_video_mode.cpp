#include "gl/gl_video_mode.h"

#include "core/kassert.h"
#include "gl/gl_display_modes.h"
#include "host/host_display.h"
#include "host/host_window.h"
#include "platform/video_platform.h"
#include "platform/win32_sys.h"

#include <cstddef>
#include <new>

namespace {

constexpr int32_t WINDOWED_SIZES[][2] = {{320, 240}, {400, 300}, {512, 384}, {640, 480}, {800, 600}, {1024, 768}};
constexpr int32_t WINDOWED_COUNT = sizeof WINDOWED_SIZES / sizeof WINDOWED_SIZES[0];

constexpr int32_t DEFAULT_WIDTH = 640;
constexpr int32_t DEFAULT_HEIGHT = 480;

constexpr const char* WIN_SITE = "KVideoMode_Win::init_mode";
constexpr const char* FS_SITE = "KVideoMode_FS::init_mode";

constexpr uint32_t LISTED_FIELDS =
    host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT | host::DM_DISPLAYFLAGS | host::DM_DISPLAYFREQUENCY;
constexpr uint32_t STANDARD_FIELDS = host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT;

// A new application window, so that a new pixel format can be set on it.
int reopen_window()
{
    if (win32sys == nullptr) {
        return 0;
    }
    // Only the window is new: the connection to the display is kept.
    const host::VideoKeeper keep;
    win32sys->window_close();
    return win32sys->window_init(GL_SYSTEM_NAME) == 0 ? 1 : 0;
}

} // namespace

int KavrinVideo::set_pixel_format(int colour_bits, int depth_bits)
{
    // SDL chooses the format when the context is made; what can fail here is
    // making the window an OpenGL window.
    if (!host::gl_set_pixel_format(colour_bits, depth_bits)) {
        video_show_error("KavrinVideo::set_pixel_format", "Can't set pixel format");
        return 0;
    }
    return 1;
}

KVideoMode_Win::KVideoMode_Win() : KVideoMode_Win(WINDOWED_COUNT, "KVideoMode_Win::init_system")
{
    for (int32_t i = 0; i < mode_count; ++i) {
        modes[i].width = WINDOWED_SIZES[i][0];
        modes[i].height = WINDOWED_SIZES[i][1];
    }
}

KVideoMode_Win::KVideoMode_Win(int32_t count, const char* site)
{
    rgb_layout[0] = 0;
    rgb_layout[1] = 8;
    rgb_layout[2] = 16;
    rgb_layout[3] = 24;
    if (count <= 0) {
        return;
    }
    modes = new (std::nothrow) VideoModeRecord[static_cast<size_t>(count)];
    if (modes == nullptr) {
        video_show_error(site, "Can't allocate mode infos");
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        modes[i] = {0, 0, 1, 2};
    }
    mode_count = count;
}

KVideoMode_Win::~KVideoMode_Win()
{
    KVideoMode_Win::close_mode();
    delete[] modes;
    modes = nullptr;
    mode_count = 0;
}

int KVideoMode_Win::init_mode(int32_t width, int32_t height)
{
    close_mode();
    int64_t w = width;
    int64_t h = height;
    if (w == 0) {
        w = DEFAULT_WIDTH;
        h = DEFAULT_HEIGHT;
    } else if (h == 0) {
        h = w * 3 / 4;
    }
    direct = 1;
    pages = 2;
    mode_index = 0;
    xres = static_cast<int32_t>(w);
    yres = static_cast<int32_t>(h);
    if (video_set_window_mode(xres, yres, 0) != 0) {
        video_show_error(WIN_SITE, "Can't resize window");
        return 0;
    }
    return start_context(WIN_SITE);
}

int KVideoMode_Win::start_context(const char* site)
{
    context = host::gl_create_context();
    if (context == nullptr) {
        video_show_error(site, "Can't create OpenGL context");
        return 0;
    }
    if (!host::gl_make_current(context)) {
        video_show_error(site, "Can't activate OpenGL context");
        return 0;
    }
    // The engine draws a picture of the mode's size, which the window shows
    // whatever its own size: a full-screen window covers the desktop.
    (void)host::gl_start_picture(xres, yres);
    return 1;
}

void KVideoMode_Win::close_mode()
{
    if (mode_index < 0) {
        return;
    }
    video_show_cursor();
    if (context != nullptr) {
        host::gl_end_picture();
        host::gl_make_current(nullptr);
        host::gl_delete_context(context);
        context = nullptr;
    }
    xres = 0;
    yres = 0;
    mode_index = -1;
}

void KVideoMode_Win::present(const VideoRect&) { host::gl_swap_window(); }

int KVideoMode_Win::select_mode(int32_t width, int32_t height)
{
    VideoModeRecord* const mode_info = modes;
    K_ASSERT(mode_info);
    int best = -1;
    int64_t best_area = 0;
    for (int32_t i = 0; i < mode_count; ++i) {
        const VideoModeRecord& m = mode_info[i];
        if (m.width < width || m.height < height) {
            continue;
        }
        const int64_t area = static_cast<int64_t>(m.width) * m.height;
        if (best < 0 || area <= best_area) {
            best = i;
            best_area = area;
        }
    }
    if (best >= 0) {
        xres = mode_info[best].width;
        yres = mode_info[best].height;
        direct = mode_info[best].direct;
        pages = mode_info[best].pages;
    }
    return best;
}

KVideoMode_FS::KVideoMode_FS() : KVideoMode_Win(settings_count, "KVideoMode_FS::init_system")
{
    K_ASSERT(settings_info);
    if (mode_count == 0) {
        return;
    }
    displays_ = new (std::nothrow) GLDisplayMode[static_cast<size_t>(mode_count)];
    if (displays_ == nullptr) {
        video_show_error("KVideoMode_FS::init_system", "Can't allocate mode infos");
        mode_count = 0;
        return;
    }
    for (int32_t i = 0; i < mode_count; ++i) {
        displays_[i] = settings_info[i];
        modes[i].width = settings_info[i].width;
        modes[i].height = settings_info[i].height;
    }
}

KVideoMode_FS::~KVideoMode_FS()
{
    close_mode();
    delete[] displays_;
    host::change_display_settings(nullptr, 0, 0);
}

int KVideoMode_FS::init_mode(int32_t width, int32_t height)
{
    close_mode();
    if (reopen_window() == 0) {
        return 0;
    }
    if (width == 0 && height == 0) {
        width = DEFAULT_WIDTH;
        height = DEFAULT_HEIGHT;
    }
    mode_index = select_mode(width, height);
    if (mode_index < 0) {
        video_show_error(FS_SITE, "Can't find suitable mode");
        return 0;
    }
    const GLDisplayMode& listed = displays_[mode_index];
    host::DisplayMode settings = {static_cast<uint32_t>(listed.bits_per_pixel), static_cast<uint32_t>(listed.width),
                                  static_cast<uint32_t>(listed.height), 0};
    uint32_t fields = STANDARD_FIELDS;
    if (listed.settings_index >= 0) {
        if (!host::enum_display_settings(static_cast<uint32_t>(listed.settings_index), settings)) {
            video_show_error(FS_SITE, "Can't init display settings");
            return 0;
        }
        fields = LISTED_FIELDS;
    }
    if (host::change_display_settings(&settings, fields, host::CDS_FULLSCREEN) != host::DISP_CHANGE_SUCCESSFUL) {
        video_show_error(FS_SITE, "Can't change display settings");
        return 0;
    }
    if (video_set_window_mode(xres, yres, 1) != 0) {
        video_show_error(FS_SITE, "Can't resize window");
        return 0;
    }
    if (KavrinVideo::set_pixel_format(listed.bits_per_pixel, 16) == 0) {
        video_show_error(FS_SITE, "Can't set pixel format");
        return 0;
    }
    return start_context(FS_SITE);
}
