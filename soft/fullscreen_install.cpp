#include "core/print.h"
#include "host/host_display.h"
#include "platform/video_platform.h"
#include "platform/video_registry.h"
#include "soft/fullscreen_dib.h"
#include "soft/video_depth.h"
#include "soft/wide_mode_filter.h"

#include <new>

namespace {

XModeInfo* mode_lists[VIDEO_DEPTHS] = {};

constexpr uint32_t FIXED_SIZES[][2] = {{320, 200}, {320, 240}, {320, 400}, {400, 300}, {512, 384}};
// A bound on the display's mode numbers, against a display that never ends its list.
constexpr uint32_t MAX_ENUMERATED_MODES = 65536;

constexpr uint32_t ENUMERATED_FIELDS = host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT |
                                       host::DM_DISPLAYFLAGS | host::DM_DISPLAYFREQUENCY;
constexpr uint32_t SIZE_FIELDS = host::DM_BITSPERPEL | host::DM_PELSWIDTH | host::DM_PELSHEIGHT;

template <int Depth, int XScale, int YScale>
KVideoMode* create_fullscreen()
{
    return new (std::nothrow) FullScreenDIB(Depth, XScale, YScale);
}

struct FullScreenDriver {
    const char* name;
    const char* description;
    VideoFactory factory;
};

constexpr FullScreenDriver DRIVERS[VIDEO_DEPTHS][3] = {
    {{"FS32", "FullScreen DIB, 32bpp", create_fullscreen<0, 1, 1>},
     {"FS32_V", "FullScreen DIB, 32bpp, vertical doubling", create_fullscreen<0, 1, 2>},
     {"FS32_D", "FullScreen DIB, 32bpp, pixel doubling", create_fullscreen<0, 2, 2>}},
    {{"FS24", "FullScreen DIB, 24bpp", create_fullscreen<1, 1, 1>},
     {"FS24_V", "FullScreen DIB, 24bpp, vertical doubling", create_fullscreen<1, 1, 2>},
     {"FS24_D", "FullScreen DIB, 24bpp, pixel doubling", create_fullscreen<1, 2, 2>}},
    {{"FS16", "FullScreen DIB, 16bpp", create_fullscreen<2, 1, 1>},
     {"FS16_V", "FullScreen DIB, 16bpp, vertical doubling", create_fullscreen<2, 1, 2>},
     {"FS16_D", "FullScreen DIB, 16bpp, pixel doubling", create_fullscreen<2, 2, 2>}},
    {{"FS15", "FullScreen DIB, 15bpp", create_fullscreen<3, 1, 1>},
     {"FS15_V", "FullScreen DIB, 15bpp, vertical doubling", create_fullscreen<3, 1, 2>},
     {"FS15_D", "FullScreen DIB, 15bpp, pixel doubling", create_fullscreen<3, 2, 2>}},
};

// 0 when memory runs out.
int enumerate_modes()
{
    WideModeFilter too_wide(" FullScreen DIB mode");
    host::DisplayMode mode = {};
    for (uint32_t n = 0; n < MAX_ENUMERATED_MODES && host::enum_display_settings(n, mode); ++n) {
        if (host::change_display_settings(&mode, ENUMERATED_FIELDS, host::CDS_TEST | host::CDS_FULLSCREEN) != 0) {
            continue;
        }
        const int depth = depth_index_of(mode.bits_per_pixel);
        if (depth < 0 || too_wide.skip(mode.width, mode.height, depth)) {
            continue;
        }
        FullScreenModeInfo* const record = add_mode_record<FullScreenModeInfo>(mode.width, mode.height,
                                                                               &mode_lists[depth]);
        if (record == nullptr) {
            return 0;
        }
        if (record->is_new()) {
            record->pages = 1;
            record->direct = 0;
            record->refresh = mode.frequency;
            record->enum_index = static_cast<int32_t>(n);
        } else if (mode.frequency > record->refresh) {
            record->enum_index = static_cast<int32_t>(n);
            record->refresh = mode.frequency;
        }
    }
    for (const auto& size : FIXED_SIZES) {
        for (int depth = 0; depth < VIDEO_DEPTHS; ++depth) {
            const host::DisplayMode wanted = {DEPTH_BITS[depth], size[0], size[1], 0};
            if (host::change_display_settings(&wanted, SIZE_FIELDS, host::CDS_TEST | host::CDS_FULLSCREEN) != 0) {
                continue;
            }
            FullScreenModeInfo* const record = add_mode_record<FullScreenModeInfo>(size[0], size[1],
                                                                                   &mode_lists[depth]);
            if (record == nullptr) {
                return 0;
            }
            if (record->is_new()) {
                record->enum_index = -1;
                record->pages = 1;
                record->refresh = 0;
                record->direct = 0;
            }
        }
    }
    return 1;
}

} // namespace

int fullscreen_dib_install()
{
    for (XModeInfo*& list : mode_lists) {
        list = nullptr;
    }
    if (enumerate_modes() == 0) {
        return 0;
    }
    for (int depth = 0; depth < VIDEO_DEPTHS; ++depth) {
        if (mode_lists[depth] == nullptr) {
            continue;
        }
        const int bits = static_cast<int>(DEPTH_BITS[depth]);
        video_show_error("FullScreenDIB driver installed", format_temp("%d bits per pixel", bits));
        for (const FullScreenDriver& d : DRIVERS[depth]) {
            (void)video_register_driver(d.name, d.description, DEPTH_BITS[depth], d.factory);
        }
        for (const XModeInfo* m = mode_lists[depth]; m != nullptr; m = m->next) {
            video_show_error(" FullScreen DIB mode",
                             format_temp("%ux%ux%dbpp, %uHz", m->width, m->height, bits,
                                         static_cast<const FullScreenModeInfo*>(m)->refresh));
        }
    }
    return 1;
}

void fullscreen_dib_uninstall()
{
    for (XModeInfo*& list : mode_lists) {
        XModeInfo::free_list(&list);
    }
}

const XModeInfo* fullscreen_mode_list(int depth_index)
{
    if (depth_index < 0 || depth_index >= VIDEO_DEPTHS) {
        return nullptr;
    }
    return mode_lists[depth_index];
}
