#include "renderer/screen_manager.h"

#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "core/timer.h"
#include "platform/video_mode.h"
#include "renderer/icon_picture.h"
#include "soft/lighting_tables.h"
#include "soft/row_draw.h"
#include "world/screenshot.h"

#include <algorithm>
#include <new>

namespace {

int32_t clamp32(int64_t v, int64_t low, int64_t high) { return static_cast<int32_t>(std::clamp(v, low, high)); }

bool inside(const ScreenRect& r, const ScreenRect& window)
{
    return window.left <= r.left && r.right <= window.right && r.top >= window.top && r.bottom <= window.bottom;
}

int32_t nanoseconds_since(double start)
{
    return static_cast<int32_t>(std::clamp((sys_time() - start) * 1e9, 0.0, 2e9));
}

} // namespace

int ScreenManager::init(KVideoMode* vm, const char* background_name, const char* loader_name, const char* font_name)
{
    release();
    K_ASSERT(vm);
    v_mode = vm;
    // A mode wider than the virtual screen still gets a unit of one pixel.
    x_unit_ = std::max<int32_t>(1, SCREEN_VIRTUAL_WIDTH / std::max<int32_t>(1, vm->xres));
    y_unit_ = std::max<int32_t>(1, SCREEN_VIRTUAL_HEIGHT / std::max<int32_t>(1, vm->yres));

    if (font_.load(font_name) == 0) {
        return 0;
    }
    font_.set_target(vm->xres, vm->yres, vm->line_offset, SCREEN_TEXT_COLOUR);
    // The icon drawers blend through these.
    build_lighting_tables();

    background_ = new_picture("BackgroundPicture");
    loader_ = new_picture("LoaderPicture");
    if (background_ == nullptr || loader_ == nullptr) {
        return 0;
    }
    background_->set_name(background_name, 0);
    loader_->set_name(loader_name, 0);

    loading_ = 0;
    K_ASSERT(cvar_list);
    mmx_ = cvar_list->link(CVTYPE_BOOL, 0x100, "MMX", "True", 0);
    if (mmx_ == nullptr) {
        return 0;
    }
    if (texts_.create() == 0 || icon_list_.create(SCREEN_ICONS) == 0 ||
        dirty_list_.create(SCREEN_DIRTY) == 0) {
        return 0;
    }
    window_ = {0, vm->xres, 0, vm->yres};
    screen_rect_ = window_;
    return 1;
}

IconPicture* ScreenManager::new_picture(const char* block_name)
{
    void* const block = kheap_alloc(sizeof(IconPicture), KHEAP_FROM_BOTTOM, block_name);
    return block != nullptr ? new (block) IconPicture : nullptr;
}

void ScreenManager::delete_picture(IconPicture*& picture)
{
    if (picture != nullptr) {
        picture->~IconPicture();
        kheap_release(picture);
        picture = nullptr;
    }
}

void ScreenManager::release()
{
    texts_.destroy();
    icon_list_.destroy();
    dirty_list_.destroy();
    delete_picture(background_);
    delete_picture(loader_);
    font_.free();
    release_variable(mmx_);
}

void ScreenManager::set_window_size(int32_t xsize, int32_t ysize)
{
    K_ASSERT(xsize <= v_mode->xres);
    K_ASSERT(ysize <= v_mode->yres);
    const ScreenRect old = window_;
    window_.left = (v_mode->xres - xsize) / 2;
    window_.right = (v_mode->xres + xsize) / 2;
    window_.top = (v_mode->yres - ysize) / 2;
    window_.bottom = (v_mode->yres + ysize) / 2;
    if (!inside(old, window_)) {
        add_dirty_rect(old);
    }
}

int ScreenManager::text_rows() const
{
    return font_.line_height() > 0 && v_mode != nullptr ? v_mode->yres / font_.line_height() : 0;
}

TextGrid ScreenManager::grid() const { return {v_mode->xres, v_mode->yres, font_.default_advance(), font_.line_height()}; }

int ScreenManager::add_text(int column, int row, const char* string)
{
    K_ASSERT(string);
    return texts_.add(column, row, string, font_.measure(string), grid());
}

void ScreenManager::set_text(int id, const char* string)
{
    texts_.set(id, string, v_mode->xres, [this](const char* t) { return font_.measure(t); },
               [this](const ScreenRect& r) { add_dirty_rect(r); });
}

void ScreenManager::remove_text(int id)
{
    texts_.remove(id, [this](const ScreenRect& r) { add_dirty_rect(r); });
}

int ScreenManager::add_icon(int32_t x, int32_t y, int32_t w, int32_t h)
{
    const int64_t left = x / x_unit_;
    const int64_t right = (static_cast<int64_t>(x) + w) / x_unit_;
    const int64_t top = y / y_unit_;
    const int64_t bottom = (static_cast<int64_t>(y) + h) / y_unit_;
    if (left >= v_mode->xres || right <= 0 || top >= v_mode->yres || bottom <= 0 || right < left || bottom < top) {
        return -1;
    }
    const int32_t id = icon_list_.count() > 0 ? icon_list_.alloc() : IL_NONE;
    if (id < 0) {
        return -1;
    }
    ScreenIcon& icon = icons_[id];
    icon.full_width = static_cast<int32_t>(right - left);
    icon.full_height = static_cast<int32_t>(bottom - top);
    icon.cut_x = left < 0 ? static_cast<int32_t>(-left) : 0;
    icon.cut_y = top < 0 ? static_cast<int32_t>(-top) : 0;
    // Set only when cut, and then the full size is not 0.
    icon.x_start = icon.cut_x > 0 ? static_cast<int32_t>((static_cast<int64_t>(icon.cut_x) << 16) / icon.full_width) : 0;
    icon.y_start = icon.cut_y > 0 ? static_cast<int32_t>((static_cast<int64_t>(icon.cut_y) << 16) / icon.full_height) : 0;
    icon.rect.left = clamp32(left, 0, v_mode->xres);
    icon.rect.right = clamp32(right, 0, v_mode->xres);
    icon.rect.top = clamp32(top, 0, v_mode->yres);
    icon.rect.bottom = clamp32(bottom, 0, v_mode->yres);
    icon.image = nullptr;
    icon.shown_width = icon.rect.right - icon.rect.left;
    return id;
}

void ScreenManager::set_icon_image(int id, IconPicture* image)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(icon_active(id));
    icons_[id].image = image;
}

void ScreenManager::set_icon_extent(int id, int32_t value)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(icon_active(id));
    ScreenIcon& icon = icons_[id];
    // The extent counts from the icon's own left edge, part of which may lie off the screen.
    const int32_t width =
        clamp32(static_cast<int64_t>(value / x_unit_) - icon.cut_x, 0, icon.rect.right - icon.rect.left);
    if (width < icon.shown_width) {
        add_dirty_rect({icon.rect.left + width, icon.rect.left + icon.shown_width, icon.rect.top, icon.rect.bottom});
    }
    icon.shown_width = width;
}

void ScreenManager::remove_icon(int id)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(icon_active(id));
    add_dirty_rect(icons_[id].rect);
    icons_[id].image = nullptr;
    icon_list_.free(id);
}

void ScreenManager::add_dirty_rect(const ScreenRect& rect)
{
    const int32_t id = dirty_list_.count() > 0 ? dirty_list_.alloc() : IL_NONE;
    if (id < 0) {
        return;
    }
    dirty_[id].rect = rect;
    // A mode that names no pages still shows each rectangle once.
    dirty_[id].count = std::max<int32_t>(v_mode != nullptr ? v_mode->pages : 1, 1);
}

void ScreenManager::clear()
{
    for (IndexList* list : {&texts_.list(), &icon_list_, &dirty_list_}) {
        if (list->count() > 0) {
            list->reset();
        }
    }
}

IconPicture* ScreenManager::touched(IconPicture* picture)
{
    const int res = picture->touch(reinterpret_cast<uintptr_t>(this));
    K_ASSERT(res);
    return picture;
}

void ScreenManager::paint_run(uint32_t* line, int32_t from, int32_t to, const uint8_t* texels,
                              const uint32_t* palette, int32_t step) const
{
    if (from < to) {
        row_draw_background(line + from, to - from, texels, palette, static_cast<int32_t>(from * step), step);
    }
}

void ScreenManager::paint_outside(const ScreenRect& rect, const IconPicture* picture)
{
    const ScreenRect& window = rect;
    K_ASSERT(window.left >= 0);
    K_ASSERT(window.right <= v_mode->xres);
    K_ASSERT(window.top >= 0);
    K_ASSERT(window.bottom <= v_mode->yres);
    if (rect.left >= rect.right || rect.top >= rect.bottom) {
        return;
    }
    const IconImage& icon = picture->image();
    K_ASSERT(icon.bitmap && icon.palette);
    // Pictures are at most 32767 pixels a side, so both steps fit 16.16.
    const int32_t xstep = static_cast<int32_t>((static_cast<int64_t>(icon.width) << 16) / v_mode->xres);
    const int32_t ystep = static_cast<int32_t>((static_cast<int64_t>(icon.height) << 16) / v_mode->yres);
    const int32_t left_end = std::min(rect.right, window_.left);
    const int32_t right_start = std::max(rect.left, window_.right);
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* const texels =
            icon.bitmap + static_cast<int64_t>((static_cast<int64_t>(y) * ystep) >> 16) * icon.width;
        uint32_t* const line = v_mode->framebuffer + v_mode->line_offset[y];
        if (y < window_.top || y >= window_.bottom) {
            paint_run(line, rect.left, rect.right, texels, icon.palette, xstep);
        } else {
            paint_run(line, rect.left, left_end, texels, icon.palette, xstep);
            paint_run(line, right_start, rect.right, texels, icon.palette, xstep);
        }
    }
}

void ScreenManager::begin_frame(int loading)
{
    const double start = sys_time();
    repaint_all_ = v_mode->begin_frame() != 0 || loading != loading_ ? 1 : 0;
    loading_ = loading;
    const IconPicture* const picture = touched(loading != 0 ? loader_ : background_);
    const IconImage& icon = picture->image();
    K_ASSERT(icon.bitmap && icon.palette);
    if (repaint_all_ != 0) {
        paint_outside(screen_rect_, picture);
        for (int32_t i = dirty_list_.first(); i >= 0; i = dirty_list_.next()) {
            if (--dirty_[i].count <= 0) {
                dirty_list_.free(i);
            }
        }
    } else {
        for (int32_t i = dirty_list_.first(); i >= 0; i = dirty_list_.next()) {
            paint_outside(dirty_[i].rect, picture);
        }
        for (int32_t i = icon_list_.first(); i >= 0; i = icon_list_.next()) {
            paint_outside(icons_[i].rect, picture);
        }
        for (int32_t i = texts_.list().first(); i >= 0; i = texts_.list().next()) {
            paint_outside(texts_.entry(i).rect, picture);
        }
    }
    clear_time_ = nanoseconds_since(start);
}

void ScreenManager::draw_icon(const ScreenIcon& record)
{
    const IconImage& icon = touched(record.image)->image();
    K_ASSERT(icon.bitmap && icon.palette);
    // Only icon images carry the two-byte texels the icon drawers read; an
    // icon narrower or lower than a pixel has nothing to show.
    if ((icon.flags & ICON_HAS_ALPHA) == 0 || record.full_width <= 0 || record.full_height <= 0 ||
        record.shown_width <= 0) {
        return;
    }
    const int32_t xstep = static_cast<int32_t>((static_cast<int64_t>(icon.width) << 16) / record.full_width);
    const int32_t ystep = static_cast<int32_t>((static_cast<int64_t>(icon.height) << 16) / record.full_height);
    // The first pixel shown reads the texel it would read with nothing cut off.
    const int32_t u = static_cast<int32_t>(static_cast<int64_t>(record.cut_x) * xstep);
    int64_t v = static_cast<int64_t>(record.cut_y) * ystep;
    const uint16_t* const texels = reinterpret_cast<const uint16_t*>(icon.bitmap);
    const bool mmx = mmx_ != nullptr && mmx_->is_true();
    for (int32_t y = record.rect.top; y < record.rect.bottom; ++y, v += ystep) {
        const uint16_t* const row = texels + (v >> 16) * icon.width;
        uint32_t* const destination = v_mode->framebuffer + v_mode->line_offset[y] + record.rect.left;
        if (mmx) {
            row_draw_icon_mmx(destination, record.shown_width, row, icon.palette, u, xstep);
        } else {
            row_draw_icon(destination, record.shown_width, row, icon.palette, u, xstep);
        }
    }
}

void ScreenManager::present_outside(const ScreenRect& rect) const
{
    if (!inside(rect, window_)) {
        v_mode->present({rect.left, rect.right, rect.top, rect.bottom});
    }
}

void ScreenManager::present(int screenshot)
{
    double start = sys_time();
    for (int32_t i = icon_list_.first(); i >= 0; i = icon_list_.next()) {
        if (icons_[i].image != nullptr) {
            draw_icon(icons_[i]);
        }
    }
    for (int32_t i = texts_.list().first(); i >= 0; i = texts_.list().next()) {
        font_.draw_string(v_mode->framebuffer, texts_.entry(i).rect.left, texts_.entry(i).rect.top, texts_.entry(i).string);
    }
    draw_time_ = nanoseconds_since(start);

    start = sys_time();
    if (repaint_all_ != 0) {
        v_mode->present({screen_rect_.left, screen_rect_.right, screen_rect_.top, screen_rect_.bottom});
    } else {
        for (int32_t i = dirty_list_.first(); i >= 0; i = dirty_list_.next()) {
            present_outside(dirty_[i].rect);
            if (--dirty_[i].count <= 0) {
                dirty_list_.free(i);
            }
        }
        for (int32_t i = texts_.list().first(); i >= 0; i = texts_.list().next()) {
            present_outside(texts_.entry(i).rect);
        }
        for (int32_t i = icon_list_.first(); i >= 0; i = icon_list_.next()) {
            present_outside(icons_[i].rect);
        }
        v_mode->present({window_.left, window_.right, window_.top, window_.bottom});
    }
    if (screenshot != 0) {
        const int32_t n = save_screenshot("shots/kvr", shot_number_, v_mode->framebuffer, v_mode->xres, v_mode->yres,
                                          v_mode->line_width, v_mode->rgb_layout, 0);
        if (n >= 0) {
            shot_number_ = n + 1;
        }
    }
    v_mode->end_frame();
    video_time_ = nanoseconds_since(start);
}

void ScreenManager::print_timing() const
{
    const double pixels = v_mode != nullptr ? static_cast<double>(v_mode->xres) * v_mode->yres : 0.0;
    if (pixels <= 0.0) {
        return;
    }
    print_tagged(four_cc("ScCy"), "Screen: Clear=%.1f, Draw=%.1f, Video=%.1f", clear_time_ / pixels,
                 draw_time_ / pixels, video_time_ / pixels);
}
