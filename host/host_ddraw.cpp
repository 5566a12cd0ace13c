#include "host/host_ddraw.h"

#include "host/host_display.h"
#include "host/host_window.h"

#include <cstring>
#include <utility>
#include <new>

namespace host::ddraw {

namespace {

constexpr Result E_NOINTERFACE = 0x80004002u;

struct DeviceState {
    Surface* primary = nullptr;
    DeviceStats stats = {};
};

Config config;
bool configured = false;
std::vector<DeviceState> states;
int enumerating = -1; // device whose enumeration callback runs
int com_count = 0;
int library_token = 0;

void ensure_configured()
{
    if (!configured) {
        configure_default();
    }
}

const DeviceSetup* setup_of(int device)
{
    if (device < 0 || device >= static_cast<int>(config.devices.size())) {
        return nullptr;
    }
    return &config.devices[static_cast<size_t>(device)];
}

DeviceStats* stats_of(int device)
{
    if (device < 0 || device >= static_cast<int>(states.size())) {
        return nullptr;
    }
    return &states[static_cast<size_t>(device)].stats;
}

uint32_t bytes_per_pixel(uint32_t bits) { return (bits + 7u) / 8u; }

int32_t pitch_of(const ModeSetup& m)
{
    return m.pitch > 0 ? m.pitch : static_cast<int32_t>(m.width * bytes_per_pixel(m.bits));
}

SurfaceDesc describe(const ModeSetup& m)
{
    SurfaceDesc d = {};
    d.flags = m.desc_flags | (m.pitch > 0 ? DDSD_PITCH : 0u);
    d.width = m.width;
    d.height = m.height;
    d.pitch = m.pitch;
    d.refresh_rate = m.refresh;
    d.pixel_format = {m.format_flags, m.bits, m.red_mask, m.green_mask, m.blue_mask};
    return d;
}

// A channel of a surface pixel widened to 8 bits.
uint32_t channel_byte(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) {
        return 0;
    }
    uint32_t shift = 0;
    while (((mask >> shift) & 1u) == 0) {
        ++shift;
    }
    uint32_t width = 0;
    while (shift + width < 32 && ((mask >> (shift + width)) & 1u) != 0) {
        ++width;
    }
    const uint32_t v = (pixel & mask) >> shift;
    if (width >= 8) {
        return v >> (width - 8);
    }
    uint32_t out = 0;
    for (int32_t filled = 8; filled > 0; filled -= static_cast<int32_t>(width)) {
        out |= filled >= static_cast<int32_t>(width) ? v << (filled - static_cast<int32_t>(width))
                                                     : v >> (static_cast<int32_t>(width) - filled);
    }
    return out & 0xFFu;
}

// Shows a flipped front buffer in the application window, when there is one.
void show_in_window(const uint8_t* memory, int32_t pitch, uint32_t width, uint32_t height, const PixelFormat& format)
{
    const uint32_t bytes = bytes_per_pixel(format.rgb_bit_count);
    if (!window_exists() || memory == nullptr || width == 0 || height == 0 || bytes == 0 || bytes > 4 ||
        pitch < static_cast<int32_t>(width * bytes)) {
        return;
    }
    std::vector<uint32_t> rgb(static_cast<size_t>(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = memory + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        for (uint32_t x = 0; x < width; ++x, row += bytes) {
            uint32_t p = 0;
            std::memcpy(&p, row, bytes);
            rgb[static_cast<size_t>(y) * width + x] = channel_byte(p, format.red_mask) << 16 |
                                                      channel_byte(p, format.green_mask) << 8 |
                                                      channel_byte(p, format.blue_mask);
        }
    }
    (void)window_present(rgb.data(), static_cast<int>(width), 0, static_cast<int>(width), 0, static_cast<int>(height),
                         1, 1);
}

} // namespace

ModeSetup standard_mode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh)
{
    ModeSetup m = {width, height, bits, refresh};
    if (bits == 16) {
        m.red_mask = 0xF800, m.green_mask = 0x07E0, m.blue_mask = 0x001F;
    } else if (bits == 15) {
        m.red_mask = 0x7C00, m.green_mask = 0x03E0, m.blue_mask = 0x001F;
    } else {
        m.red_mask = 0xFF0000, m.green_mask = 0xFF00, m.blue_mask = 0xFF;
    }
    return m;
}

void configure(const Config& c)
{
    config = c;
    configured = true;
    states.clear();
    states.resize(config.devices.size());
}

void configure_default()
{
    Config c;
    DeviceSetup device;
    device.video_memory = 32u << 20;
    DisplayMode mode;
    for (uint32_t n = 0; n < 256 && enum_display_settings(n, mode); ++n) {
        for (const uint32_t bits : {32u, 16u, 15u}) {
            device.modes.push_back(standard_mode(mode.width, mode.height, bits, mode.frequency));
        }
    }
    c.devices.push_back(device);
    configure(c);
}

Result co_initialize(void*)
{
    ensure_configured();
    if (config.co_initialize_fails) {
        return DDERR_GENERIC;
    }
    ++com_count;
    return DD_OK;
}

void co_uninitialize()
{
    if (com_count > 0) {
        --com_count;
    }
}

bool com_initialized() { return com_count > 0; }

void* load_library(const char* name)
{
    ensure_configured();
    if (config.load_library_fails || name == nullptr || std::strcmp(name, "ddraw.dll") != 0) {
        return nullptr;
    }
    return &library_token;
}

namespace {

Result enumerate_devices(DeviceCallback callback, void* context)
{
    if (config.enumerate_result != DD_OK) {
        return config.enumerate_result;
    }
    for (size_t i = 0; i < config.devices.size(); ++i) {
        Guid guid = {};
        guid.bytes[0] = static_cast<uint8_t>(i);
        guid.bytes[15] = 0x5A;
        enumerating = static_cast<int>(i);
        // The primary display is reported without a GUID.
        const int more = callback(i == 0 ? nullptr : &guid, config.devices[i].description.c_str(),
                                  config.devices[i].driver_name.c_str(), context);
        enumerating = -1;
        if (more == 0) {
            break;
        }
    }
    return DD_OK;
}

} // namespace

EnumerateFunction get_proc_address(void* library, const char* name)
{
    if (library != &library_token || config.get_proc_fails || name == nullptr ||
        std::strcmp(name, "DirectDrawEnumerateA") != 0) {
        return nullptr;
    }
    return enumerate_devices;
}

void free_library(void*) {}

Result co_create_instance(const void*, void*, uint32_t, const void*, DirectDraw2** object)
{
    *object = nullptr;
    if (com_count == 0) {
        return DDERR_NOTINITIALIZED;
    }
    const DeviceSetup* const setup = setup_of(enumerating);
    if (setup != nullptr && setup->no_direct_draw2) {
        return E_NOINTERFACE;
    }
    *object = new (std::nothrow) DirectDraw2;
    return *object != nullptr ? DD_OK : DDERR_OUTOFMEMORY;
}

Result DirectDraw2::initialize(const Guid* guid)
{
    if (device_ >= 0) {
        return DDERR_ALREADYINITIALIZED;
    }
    const int device = guid == nullptr ? 0 : guid->bytes[0];
    const DeviceSetup* const setup = setup_of(device);
    if (setup == nullptr || (guid != nullptr && (device == 0 || guid->bytes[15] != 0x5A))) {
        return DDERR_INVALIDDIRECTDRAWGUID;
    }
    if (setup->initialize_result != DD_OK) {
        return setup->initialize_result;
    }
    device_ = device;
    ++stats_of(device)->live_objects;
    return DD_OK;
}

Result DirectDraw2::get_caps(Caps* driver, Caps* emulation)
{
    const DeviceSetup* const setup = setup_of(device_);
    if (setup == nullptr) {
        return DDERR_NOTINITIALIZED;
    }
    if (setup->get_caps_result != DD_OK) {
        return setup->get_caps_result;
    }
    if (driver != nullptr) {
        *driver = {setup->video_memory, setup->video_memory};
    }
    if (emulation != nullptr) {
        *emulation = {0, 0};
    }
    return DD_OK;
}

Result DirectDraw2::enum_display_modes(uint32_t, const SurfaceDesc*, void* context, ModeCallback callback)
{
    const DeviceSetup* const setup = setup_of(device_);
    if (setup == nullptr) {
        return DDERR_NOTINITIALIZED;
    }
    const Result r = enum_calls_++ == 0 ? setup->memory_enum_result : setup->mode_enum_result;
    if (r != DD_OK) {
        return r;
    }
    for (const ModeSetup& m : setup->modes) {
        const SurfaceDesc desc = describe(m);
        if (callback(&desc, context) == 0) {
            break;
        }
    }
    return DD_OK;
}

Result DirectDraw2::set_cooperative_level(void*, uint32_t flags)
{
    DeviceStats* const stats = stats_of(device_);
    if (stats == nullptr) {
        return DDERR_NOTINITIALIZED;
    }
    cooperative_ = flags;
    stats->cooperative_level = flags;
    return DD_OK;
}

Result DirectDraw2::set_display_mode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh, uint32_t)
{
    const DeviceSetup* const setup = setup_of(device_);
    if (setup == nullptr) {
        return DDERR_NOTINITIALIZED;
    }
    if ((cooperative_ & DDSCL_EXCLUSIVE) == 0) {
        return DDERR_NOEXCLUSIVEMODE;
    }
    if (setup->set_display_mode_result != DD_OK) {
        return setup->set_display_mode_result;
    }
    for (size_t i = 0; i < setup->modes.size(); ++i) {
        const ModeSetup& m = setup->modes[i];
        if (m.width == width && m.height == height && m.bits == bits && (refresh == 0 || m.refresh == refresh)) {
            mode_ = static_cast<int>(i);
            ++stats_of(device_)->display_modes_set;
            return DD_OK;
        }
    }
    return DDERR_INVALIDMODE;
}

Result DirectDraw2::restore_display_mode()
{
    DeviceStats* const stats = stats_of(device_);
    if (stats == nullptr) {
        return DDERR_NOTINITIALIZED;
    }
    mode_ = -1;
    ++stats->restores;
    return DD_OK;
}

Result DirectDraw2::create_surface(const SurfaceDesc* desc, Surface** surface, void*)
{
    *surface = nullptr;
    const DeviceSetup* const setup = setup_of(device_);
    if (setup == nullptr) {
        return DDERR_NOTINITIALIZED;
    }
    if (setup->create_surface_result != DD_OK) {
        return setup->create_surface_result;
    }
    constexpr uint32_t wanted = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if ((desc->flags & (DDSD_CAPS | DDSD_BACKBUFFERCOUNT)) != (DDSD_CAPS | DDSD_BACKBUFFERCOUNT) ||
        (desc->caps & wanted) != wanted || desc->back_buffer_count != 1) {
        return DDERR_INVALIDCAPS;
    }
    if (mode_ < 0) {
        return DDERR_NOEXCLUSIVEMODE;
    }
    if (primary_ != nullptr) {
        return DDERR_PRIMARYSURFACEALREADYEXISTS;
    }
    const ModeSetup& m = setup->modes[static_cast<size_t>(mode_)];
    const int32_t pitch = pitch_of(m);
    const size_t bytes = static_cast<size_t>(pitch) * m.height + 64 + setup->surface_offset;
    Surface* made[2] = {};
    for (Surface*& s : made) {
        s = new (std::nothrow) Surface;
        if (s != nullptr) {
            s->block_ = new (std::nothrow) uint8_t[bytes]();
        }
        if (s == nullptr || s->block_ == nullptr) {
            delete made[0];
            delete made[1];
            return DDERR_OUTOFVIDEOMEMORY;
        }
        const uintptr_t base = (reinterpret_cast<uintptr_t>(s->block_) + 63u) & ~uintptr_t{63};
        s->memory_ = s->block_ + (base - reinterpret_cast<uintptr_t>(s->block_)) + setup->surface_offset;
        s->owner_ = this;
        s->width_ = m.width;
        s->height_ = m.height;
        s->pitch_ = pitch;
        s->format_ = {m.format_flags, m.bits, m.red_mask, m.green_mask, m.blue_mask};
    }
    made[0]->back_ = made[1];
    made[1]->front_ = made[0];
    primary_ = made[0];
    states[static_cast<size_t>(device_)].primary = primary_;
    states[static_cast<size_t>(device_)].stats.live_surfaces += 2;
    *surface = primary_;
    return DD_OK;
}

uint32_t DirectDraw2::release()
{
    if (--references_ > 0) {
        return references_;
    }
    if (primary_ != nullptr) {
        (void)primary_->release();
    }
    if (DeviceStats* const stats = stats_of(device_)) {
        --stats->live_objects;
    }
    delete this;
    return 0;
}

Surface::~Surface() { delete[] block_; }

Result Surface::get_attached_surface(uint32_t caps, Surface** attached)
{
    *attached = nullptr;
    if ((caps & DDSCAPS_BACKBUFFER) == 0 || back_ == nullptr) {
        return DDERR_NOTFOUND;
    }
    const DeviceSetup* const setup = setup_of(owner_->device_);
    if (setup != nullptr && setup->attached_result != DD_OK) {
        return setup->attached_result;
    }
    *attached = back_;
    return DD_OK;
}

Result Surface::get_pixel_format(PixelFormat* format)
{
    const DeviceSetup* const setup = setup_of(owner_->device_);
    if (setup != nullptr && setup->pixel_format_result != DD_OK) {
        return setup->pixel_format_result;
    }
    *format = format_;
    return DD_OK;
}

Result Surface::lock(const void*, SurfaceDesc* desc, uint32_t, void*)
{
    const DeviceSetup* const setup = setup_of(owner_->device_);
    if (setup != nullptr && setup->lock_result != DD_OK) {
        return setup->lock_result;
    }
    if (locked_) {
        return DDERR_SURFACEBUSY;
    }
    locked_ = true;
    *desc = {};
    desc->flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
    desc->width = width_;
    desc->height = height_;
    desc->pixel_format = format_;
    if (setup != nullptr && setup->lock_without_memory) {
        return DD_OK;
    }
    desc->pitch = pitch_;
    desc->surface = memory_;
    return DD_OK;
}

Result Surface::unlock(void*)
{
    if (!locked_) {
        return DDERR_NOTLOCKED;
    }
    locked_ = false;
    return DD_OK;
}

Result Surface::flip(Surface*, uint32_t)
{
    if (back_ == nullptr) {
        return DDERR_NOTFLIPPABLE;
    }
    if (locked_ || back_->locked_) {
        return DDERR_SURFACEBUSY;
    }
    std::swap(block_, back_->block_);
    std::swap(memory_, back_->memory_);
    if (DeviceStats* const stats = stats_of(owner_->device_)) {
        ++stats->flips;
    }
    show_in_window(memory_, pitch_, width_, height_, format_);
    return DD_OK;
}

uint32_t Surface::release()
{
    if (front_ != nullptr) {
        // The back buffer goes with its primary surface.
        return 1;
    }
    if (owner_->primary_ == this) {
        owner_->primary_ = nullptr;
    }
    const int device = owner_->device_;
    if (device >= 0 && device < static_cast<int>(states.size())) {
        DeviceState& state = states[static_cast<size_t>(device)];
        if (state.primary == this) {
            state.primary = nullptr;
        }
        state.stats.live_surfaces -= back_ != nullptr ? 2 : 1;
    }
    delete back_;
    delete this;
    return 0;
}

FrontBuffer front_buffer(int device)
{
    if (device < 0 || device >= static_cast<int>(states.size()) || states[static_cast<size_t>(device)].primary == nullptr) {
        return {};
    }
    const Surface* const s = states[static_cast<size_t>(device)].primary;
    return {s->memory(), s->pitch(), s->width(), s->height(), s->format()};
}

DeviceStats device_stats(int device)
{
    const DeviceStats* const stats = stats_of(device);
    return stats != nullptr ? *stats : DeviceStats{};
}

} // namespace host::ddraw
