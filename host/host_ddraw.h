#pragma once
// An emulated DirectDraw: COM start, the library and its device enumeration,
// the DirectDraw2 object of a device and its flipping primary surface, in the
// shape the DirectDraw drivers call them. The devices, their modes, memory and
// pixel masks, and failures to inject, come from a configuration that tests
// set; by default one device offers the desktop's display modes at 32, 16 and
// 15 bits per pixel. Flipped frames are shown in the application window.
#include "host/host_ddraw_results.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host::ddraw {

struct Guid {
    uint8_t bytes[16];
};

// Surface description flags.
constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_LPSURFACE = 0x800;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
constexpr uint32_t DDSD_REFRESHRATE = 0x40000;
// Pixel format flags.
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20;
constexpr uint32_t DDPF_RGB = 0x40;
// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_NORMAL = 0x8;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
constexpr uint32_t DDEDM_REFRESHRATES = 0x1;
constexpr uint32_t DDLOCK_WAIT = 0x1;
constexpr uint32_t DDFLIP_WAIT = 0x1;
constexpr uint32_t CLSCTX_ALL = 7;

struct PixelFormat {
    uint32_t flags;
    uint32_t rgb_bit_count;
    uint32_t red_mask;
    uint32_t green_mask;
    uint32_t blue_mask;
};

struct SurfaceDesc {
    uint32_t flags;
    uint32_t width;
    uint32_t height;
    int32_t pitch; // bytes
    uint32_t back_buffer_count;
    uint32_t refresh_rate;
    void* surface;
    PixelFormat pixel_format;
    uint32_t caps;
};

struct Caps {
    uint32_t video_memory_total;
    uint32_t video_memory_free;
};

class Surface;

// The DirectDraw2 interface of one device.
class DirectDraw2 {
public:
    using ModeCallback = int (*)(const SurfaceDesc* desc, void* context); // 1 = go on

    Result initialize(const Guid* guid);
    Result get_caps(Caps* driver, Caps* emulation);
    Result enum_display_modes(uint32_t flags, const SurfaceDesc* filter, void* context, ModeCallback callback);
    Result set_cooperative_level(void* window, uint32_t flags);
    Result set_display_mode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh, uint32_t flags);
    Result restore_display_mode();
    Result create_surface(const SurfaceDesc* desc, Surface** surface, void* outer);
    uint32_t release();

private:
    friend Result co_create_instance(const void*, void*, uint32_t, const void*, DirectDraw2**);
    friend class Surface;
    DirectDraw2() = default;

    uint32_t references_ = 1;
    int device_ = -1;
    int enum_calls_ = 0;
    uint32_t cooperative_ = 0;
    int mode_ = -1; // index into the device's modes, -1 = the desktop's
    Surface* primary_ = nullptr;
};

// A surface; the primary surface owns its one back buffer.
class Surface {
public:
    Result get_attached_surface(uint32_t caps, Surface** attached);
    Result get_pixel_format(PixelFormat* format);
    // Locks the whole surface.
    Result lock(const void* rect, SurfaceDesc* desc, uint32_t flags, void* event);
    Result unlock(void* rect);
    Result flip(Surface* target, uint32_t flags);
    uint32_t release();

    const uint8_t* memory() const { return memory_; }
    int32_t pitch() const { return pitch_; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    const PixelFormat& format() const { return format_; }

private:
    friend class DirectDraw2;
    Surface() = default;
    ~Surface();

    DirectDraw2* owner_ = nullptr;
    Surface* back_ = nullptr;   // of the primary surface
    Surface* front_ = nullptr;  // of the back buffer
    uint8_t* block_ = nullptr;  // allocation
    uint8_t* memory_ = nullptr; // first pixel
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int32_t pitch_ = 0;
    PixelFormat format_ = {};
    bool locked_ = false;
};

using DeviceCallback = int (*)(Guid* guid, const char* description, const char* driver_name, void* context);
using EnumerateFunction = Result (*)(DeviceCallback callback, void* context);

Result co_initialize(void* reserved);
void co_uninitialize();
// The DirectDraw class asking for the DirectDraw2 interface; class, outer
// object and interface id are accepted as given.
Result co_create_instance(const void* class_id, void* outer, uint32_t context, const void* interface_id,
                          DirectDraw2** object);
void* load_library(const char* name);
// "DirectDrawEnumerateA" of the library, or null.
EnumerateFunction get_proc_address(void* library, const char* name);
void free_library(void* library);

// Configuration of the emulation.
struct ModeSetup {
    uint32_t width;
    uint32_t height;
    uint32_t bits;
    uint32_t refresh;
    int32_t pitch = 0; // 0: no pitch reported, rows of width * bytes
    uint32_t red_mask = 0;
    uint32_t green_mask = 0;
    uint32_t blue_mask = 0;
    uint32_t desc_flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_REFRESHRATE | DDSD_PIXELFORMAT;
    uint32_t format_flags = DDPF_RGB;
};

// Standard masks by depth: 32 and 24 0xFF0000/0xFF00/0xFF, 16 5-6-5, 15 5-5-5.
ModeSetup standard_mode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh);

struct DeviceSetup {
    std::string description = "Emulated display";
    std::string driver_name = "display";
    uint32_t video_memory = 16u << 20;
    std::vector<ModeSetup> modes;
    bool no_direct_draw2 = false; // creating the DirectDraw2 object fails
    Result initialize_result = DD_OK;
    Result get_caps_result = DD_OK;
    Result memory_enum_result = DD_OK; // the first mode enumeration
    Result mode_enum_result = DD_OK;   // every later one
    Result set_display_mode_result = DD_OK;
    Result create_surface_result = DD_OK;
    Result attached_result = DD_OK;
    Result pixel_format_result = DD_OK;
    Result lock_result = DD_OK;
    bool lock_without_memory = false;
    // Bytes past a 64-byte boundary at which surface memory starts.
    uint32_t surface_offset = 0;
};

struct Config {
    bool co_initialize_fails = false;
    bool load_library_fails = false;
    bool get_proc_fails = false;
    Result enumerate_result = DD_OK;
    std::vector<DeviceSetup> devices;
};

// Replaces the emulation's configuration; objects made before stay valid.
void configure(const Config& config);
// The default configuration from the desktop's display modes.
void configure_default();

// What tests read back: the live primary surface of a device (null pixels
// when there is none) and counters of the calls that change the display.
struct FrontBuffer {
    const uint8_t* pixels;
    int32_t pitch;
    uint32_t width;
    uint32_t height;
    PixelFormat format;
};
FrontBuffer front_buffer(int device);
struct DeviceStats {
    int flips;
    int display_modes_set;
    int restores;
    uint32_t cooperative_level;
    int live_objects;
    int live_surfaces;
};
DeviceStats device_stats(int device);
bool com_initialized();

} // namespace host::ddraw
