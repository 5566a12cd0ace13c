#include "core/command_line.h"
#include "core/print.h"
#include "platform/video_platform.h"
#include "platform/video_registry.h"
#include "soft/ddraw_devices.h"
#include "soft/ddraw_errors.h"
#include "soft/ddraw_mode.h"
#include "soft/wide_mode_filter.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

using namespace host::ddraw;

DDrawDevice ddraw_devices[DDRAW_MAX_DEVICES];
int ddraw_device_count = 0;

namespace {

void* ddraw_library = nullptr;
EnumerateFunction ddraw_enumerate = nullptr;
bool com_initialized_here = false;

constexpr uint32_t MEMORY_GRANULE = 262144;
// The largest multiple of the granule that a u32 holds.
constexpr uint64_t MEMORY_LIMIT = 0x100000000ull - MEMORY_GRANULE;

template <int Index>
KVideoMode* create_ddraw_mode()
{
    return new (std::nothrow) VideoDDraw(Index / 8, (Index / 2) % 4, Index % 2);
}

template <size_t... I>
constexpr auto make_factories(std::index_sequence<I...>)
{
    return std::array<DDrawFactory, sizeof...(I)>{create_ddraw_mode<static_cast<int>(I)>...};
}

constexpr auto FACTORIES = make_factories(std::make_index_sequence<DDRAW_MAX_DEVICES * 8>{});

void show_result(const char* title, Result r) { video_show_error(title, ddraw_error_text(r)); }

uint64_t absolute(int64_t v) { return v < 0 ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v); }

int memory_callback(const SurfaceDesc* desc, void* context)
{
    uint64_t& memory = *static_cast<uint64_t*>(context);
    if ((desc->flags & (DDSD_WIDTH | DDSD_HEIGHT)) == 0) {
        return 1;
    }
    uint64_t size = 0;
    if ((desc->flags & DDSD_PITCH) != 0) {
        size = absolute(static_cast<int64_t>(desc->pitch) * static_cast<int64_t>(desc->height));
    } else if ((desc->flags & DDSD_PIXELFORMAT) != 0 && (desc->pixel_format.flags & DDPF_RGB) != 0) {
        size = static_cast<uint64_t>(desc->pixel_format.rgb_bit_count) * desc->width * desc->height / 8;
    }
    if (size > memory) {
        memory = size;
    }
    return 1;
}

// What the mode callback fills: the device's lists, leaving out modes too wide to draw.
struct ModeListing {
    DDrawDevice& device;
    WideModeFilter too_wide;
};

int mode_callback(const SurfaceDesc* desc, void* context)
{
    ModeListing& listing = *static_cast<ModeListing*>(context);
    DDrawDevice& device = listing.device;
    constexpr uint32_t needed = DDSD_WIDTH | DDSD_HEIGHT | DDSD_REFRESHRATE | DDSD_PIXELFORMAT;
    if ((desc->flags & needed) != needed || (desc->pixel_format.flags & DDPF_RGB) == 0) {
        return 1;
    }
    const uint32_t bits = desc->pixel_format.rgb_bit_count;
    const int depth = depth_index_of(bits);
    if (depth < 0 || listing.too_wide.skip(desc->width, desc->height, depth)) {
        return 1;
    }
    DDrawModeInfo* const record = add_mode_record<DDrawModeInfo>(desc->width, desc->height, &device.modes[depth]);
    if (record == nullptr) {
        return 0;
    }
    if (record->is_new()) {
        uint64_t frame = (desc->flags & DDSD_PITCH) != 0
                             ? absolute(static_cast<int64_t>(desc->pitch) * static_cast<int64_t>(desc->height))
                             : static_cast<uint64_t>(desc->width) * desc->height * bits / 8;
        if (frame == 0) {
            frame = 1;
        }
        const uint64_t pages = device.video_memory / frame;
        record->pages = pages > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(pages);
        record->direct = depth == 0 && record->pages > 1 ? 1 : 0;
        record->refresh = desc->refresh_rate;
    } else if (desc->refresh_rate > record->refresh) {
        record->refresh = desc->refresh_rate;
    }
    return 1;
}

// Copies a text into a buffer, cut to its size.
template <size_t N>
void cut_copy(char (&buffer)[N], const char* text)
{
    std::snprintf(buffer, N, "%s", text);
}

void write_names(DDrawDevice& device, int number, const char* driver_name)
{
    for (int depth = 0; depth < DDRAW_DEPTHS; ++depth) {
        const int bits = static_cast<int>(DEPTH_BITS[depth]);
        char (&names)[2][DDRAW_NAME_SIZE] = device.names[depth];
        if (number == 1) {
            cut_copy(names[0], format_temp("DD%d", bits));
            cut_copy(names[1], format_temp("DD%d_L", bits));
        } else {
            cut_copy(names[0], format_temp("DD%d_%d", bits, number));
            cut_copy(names[1], format_temp("DD%d_%d_L", bits, number));
        }
        cut_copy(device.descriptions[depth][0],
                 format_temp("DirectDraw, %dbpp, device #%d (%s)", bits, number, driver_name));
        cut_copy(device.descriptions[depth][1],
                 format_temp("DirectDraw Laced, %dbpp, device #%d (%s)", bits, number, driver_name));
    }
}

int device_callback(Guid* guid, const char*, const char* driver_name, void* context)
{
    int& count = *static_cast<int*>(context);
    if (count >= DDRAW_MAX_DEVICES) {
        video_show_error(driver_name, format_temp("skipping, I've got already %d DirectDraw devices", count));
        return 1;
    }
    DDrawDevice& device = ddraw_devices[count];
    DirectDraw2* ddraw = nullptr;
    if (co_create_instance(nullptr, nullptr, CLSCTX_ALL, nullptr, &ddraw) != DD_OK || ddraw == nullptr) {
        video_show_error("DirectX too old", "I require DirectDraw version 2+");
        return 1;
    }
    Result r = ddraw->initialize(guid);
    if (r != DD_OK) {
        show_result("DirectDraw::Initialize()", r);
        (void)ddraw->release();
        return 1;
    }
    device.ddraw = ddraw;
    write_names(device, count + 1, driver_name);

    uint64_t memory = 0;
    Caps driver_caps = {};
    Caps emulation_caps = {};
    r = ddraw->get_caps(&driver_caps, &emulation_caps);
    if (r == DD_OK) {
        memory = driver_caps.video_memory_total;
    } else {
        show_result("DirectDraw::GetCaps()", r);
    }
    r = ddraw->enum_display_modes(DDEDM_REFRESHRATES, nullptr, &memory, memory_callback);
    if (r != DD_OK) {
        show_result("DirectDraw::EnumDisplayModes()", r);
    }
    memory = (memory + MEMORY_GRANULE - 1) / MEMORY_GRANULE * MEMORY_GRANULE;
    device.video_memory = static_cast<uint32_t>(memory > MEMORY_LIMIT ? MEMORY_LIMIT : memory);

    ModeListing listing{device, WideModeFilter(" DirectDraw mode")};
    r = ddraw->enum_display_modes(DDEDM_REFRESHRATES, nullptr, &listing, mode_callback);
    if (r != DD_OK) {
        show_result("DirectDraw::EnumDisplayModes()", r);
        for (XModeInfo*& list : device.modes) {
            XModeInfo::free_list(&list);
        }
        (void)ddraw->release();
        device.ddraw = nullptr;
        return 1;
    }
    ++count;
    return 1;
}

bool option_no_direct_draw()
{
    if (command_line == nullptr) {
        return false;
    }
    const bool found = command_line->find_option("no_direct_draw") != 0;
    command_line->end_search();
    return found;
}

} // namespace

DDrawFactory ddraw_factory(int index)
{
    if (index < 0 || index >= static_cast<int>(FACTORIES.size())) {
        return nullptr;
    }
    return FACTORIES[static_cast<size_t>(index)];
}

int VideoDDraw::initialize()
{
    for (DDrawDevice& device : ddraw_devices) {
        device.ddraw = nullptr;
        for (XModeInfo*& list : device.modes) {
            list = nullptr;
        }
    }
    ddraw_device_count = 0;

    if (option_no_direct_draw()) {
        return 1;
    }
    const Result com = co_initialize(nullptr);
    com_initialized_here = true;
    if (com != DD_OK) {
        video_show_error("VideoDDraw::initialize()", "COM didn't initialized");
        return 1;
    }
    ddraw_library = load_library("ddraw.dll");
    if (ddraw_library == nullptr) {
        video_show_error("VideoDDraw::initialize()", "Can't load ddraw.dll");
        return 1;
    }
    ddraw_enumerate = get_proc_address(ddraw_library, "DirectDrawEnumerateA");
    if (ddraw_enumerate == nullptr) {
        video_show_error("GetProcAddress() failed", "DirectDrawEnumerateA");
        return 1;
    }
    const Result r = ddraw_enumerate(device_callback, &ddraw_device_count);
    if (r != DD_OK) {
        show_result("DirectDrawEnumerate()", r);
        return 0;
    }

    for (int d = 0; d < ddraw_device_count; ++d) {
        DDrawDevice& device = ddraw_devices[d];
        for (int depth = 0; depth < DDRAW_DEPTHS; ++depth) {
            if (device.modes[depth] == nullptr) {
                continue;
            }
            const int bits = static_cast<int>(DEPTH_BITS[depth]);
            video_show_error("DirectDraw driver installed",
                             format_temp("%d bits per pixel, #%d deviceId (%.1fMB)", bits, d + 1,
                                         device.video_memory / 1048576.0));
            const int factory = d * 8 + depth * 2;
            for (int laced = 0; laced < 2; ++laced) {
                (void)video_register_driver(device.names[depth][laced], device.descriptions[depth][laced],
                                            DEPTH_BITS[depth], ddraw_factory(factory + laced));
            }
            for (const XModeInfo* m = device.modes[depth]; m != nullptr; m = m->next) {
                video_show_error(" DirectDraw mode",
                                 format_temp("%ux%ux%dbpp, %uHz", m->width, m->height, bits,
                                             static_cast<const DDrawModeInfo*>(m)->refresh));
            }
        }
    }
    return 1;
}

void VideoDDraw::shutdown()
{
    for (int d = 0; d < ddraw_device_count; ++d) {
        DDrawDevice& device = ddraw_devices[d];
        for (XModeInfo*& list : device.modes) {
            XModeInfo::free_list(&list);
        }
        if (device.ddraw != nullptr) {
            (void)device.ddraw->release();
            device.ddraw = nullptr;
        }
    }
    ddraw_device_count = 0;
    if (ddraw_library != nullptr) {
        free_library(ddraw_library);
        ddraw_library = nullptr;
        ddraw_enumerate = nullptr;
    }
    if (com_initialized_here) {
        co_uninitialize();
        com_initialized_here = false;
    }
    release_mmx_variable();
}
