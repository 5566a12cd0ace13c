#include "platform/video_mode.h"

#include "core/kassert.h"
#include "platform/video_platform.h"

#include <cstddef>
#include <new>

KVideoMode::KVideoMode() = default;

KVideoMode::~KVideoMode() = default;

void KVideoMode::clear()
{
    for (int32_t y = 0; y < yres; ++y) {
        uint32_t* const row = framebuffer + line_offset[y];
        for (int32_t x = 0; x < xres; ++x) {
            row[x] = 0;
        }
    }
}

int KVideoMode::init_line_offsets()
{
    K_ASSERT(this->line_offset == 0);
    K_ASSERT(this->yres);
    K_ASSERT(this->line_width);
    line_offset = new (std::nothrow) int32_t[static_cast<size_t>(yres)];
    if (line_offset == nullptr) {
        video_show_error("KVideoMode:init_line_offsets()", "Memory allocation failed");
        return 0;
    }
    for (int32_t y = 0; y < yres; ++y) {
        line_offset[y] = y * line_width;
    }
    return 1;
}

void KVideoMode::free_line_offsets()
{
    delete[] line_offset;
    line_offset = nullptr;
}

void KVideoMode::reset_mode_fields()
{
    free_line_offsets();
    xres = 0;
    yres = 0;
    pages = 0;
    line_width = 0;
    framebuffer = nullptr;
}

int KVideoMode::alloc_framebuffer()
{
    K_ASSERT(this->framebuffer == 0);
    K_ASSERT(this->line_width);
    K_ASSERT(this->yres);
    const size_t count = static_cast<size_t>(line_width) * static_cast<size_t>(yres);
    framebuffer = new (std::nothrow) uint32_t[count];
    if (framebuffer == nullptr) {
        video_show_error("KVideoMode:alloc_framebuffer()", "Memory allocation failed");
        return 0;
    }
    return 1;
}
