#include "renderer/screen_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "gl/gl_bind.h"
#include "host/host_gl.h"
#include "platform/video_mode.h"
#include "world/screenshot.h"

#include <algorithm>
#include <new>

namespace {

int32_t clamp32(int64_t v, int32_t low, int32_t high)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, low, high));
}

bool inside(const GLScreenRect& r, const GLScreenRect& window)
{
    return r.x0 >= window.x0 && r.x1 <= window.x1 && r.y0 >= window.y0 && r.y1 <= window.y1;
}

} // namespace

int ScreenManager::init(KVideoMode* vm)
{
    close();
    K_ASSERT(vm);
    v_mode = vm;
    if (GLSys::init() == 0) {
        return 0;
    }
    // A screen wider than the virtual one still gets a scale of 1.
    x_scale_ = std::max<int32_t>(GL_SCREEN_VIRTUAL_WIDTH / std::max<int32_t>(vm->xres, 1), 1);
    y_scale_ = std::max<int32_t>(GL_SCREEN_VIRTUAL_HEIGHT / std::max<int32_t>(vm->yres, 1), 1);
    if (icon_list_.create(GL_SCREEN_ICONS) == 0 || freed_list_.create(GL_SCREEN_FREED) == 0) {
        return 0;
    }
    screen_rect_ = {0, vm->xres, 0, vm->yres};
    window_ = screen_rect_;
    loading_ = 0;
    repaint_all_ = 0;
    return 1;
}

void ScreenManager::close()
{
    icon_list_.destroy();
    freed_list_.destroy();
    for (GLScreenIcon& icon : icons_) {
        icon = {};
    }
    if (v_mode != nullptr) {
        GLSys::close();
    }
}

void ScreenManager::set_window_size(int32_t xsize, int32_t ysize)
{
    K_ASSERT(v_mode);
    K_ASSERT(xsize <= v_mode->xres);
    K_ASSERT(ysize <= v_mode->yres);
    const GLScreenRect old = window_;
    window_.x0 = (v_mode->xres - xsize) / 2;
    window_.x1 = (v_mode->xres + xsize) / 2;
    window_.y0 = (v_mode->yres - ysize) / 2;
    window_.y1 = (v_mode->yres + ysize) / 2;
    if (!inside(old, window_)) {
        add_freed_rect(old);
    }
}

void ScreenManager::begin_frame(int loading)
{
    K_ASSERT(v_mode);
    repaint_all_ = v_mode->begin_frame() != 0 || loading != loading_ ? 1 : 0;
    loading_ = loading;
    begin_plaindraw();
    // The background and loader pictures come with the texture caches; until
    // then the lists keep their order and counts alone.
    for (int32_t i = freed_list_.first(); i >= 0; i = freed_list_.next()) {
        if (--freed_[i].frames_left <= 0) {
            freed_list_.free(i);
        }
    }
    finish_plaindraw();
}

void ScreenManager::present(int screenshot)
{
    K_ASSERT(v_mode);
    begin_plaindraw();
    finish_plaindraw();
    if (screenshot != 0) {
        const int32_t width = v_mode->xres;
        const int32_t height = v_mode->yres;
        uint32_t* const pixels =
            new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)];
        if (pixels == nullptr) {
            print_string(3, "ScreenManager: Can't allocate buffer for screenshot");
        } else {
            glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
            // GL hands the rows back lowest first.
            const int32_t n = save_screenshot("shots/kvr", shot_number_, pixels, width, height, width,
                                              v_mode->rgb_layout, SHOT_BOTTOM_UP);
            if (n >= 0) {
                shot_number_ = n + 1;
            }
            delete[] pixels;
        }
    }
    GLSys::finish();
    v_mode->present({0, v_mode->xres, 0, v_mode->yres});
}

void ScreenManager::begin_plaindraw()
{
    K_ASSERT(v_mode);
    const int32_t width = v_mode->xres;
    const int32_t height = v_mode->yres;
    glViewport(0, 0, width, height);
    GLSys::report_errors("ViewPort from ScreenManager::begin_plaindraw()");
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    GLSys::report_errors("PushMatrix from ScreenManager::begin_plaindraw()");
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenManager::begin_plaindraw()");
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    GLSys::report_errors("PushMatrix from ScreenManager::begin_plaindraw()");
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenManager::begin_plaindraw()");
    glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    GLSys::report_errors("Ortho from ScreenManager::begin_plaindraw()");
    GLSys::set_culling(0);
    GLSys::set_texturing(1);
    GLSys::set_depth(0);
}

void ScreenManager::finish_plaindraw()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    GLSys::report_errors("PopMatrix from ScreenManager::finish_plaindraw()");
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    GLSys::report_errors("PopMatrix from ScreenManager::finish_plaindraw()");
    glMatrixMode(GL_MODELVIEW);
}

int ScreenManager::add_icon(int32_t x, int32_t width, int32_t y, int32_t height)
{
    K_ASSERT(v_mode);
    const int64_t x0 = x / x_scale_;
    const int64_t x1 = (static_cast<int64_t>(x) + width) / x_scale_;
    const int64_t y0 = y / y_scale_;
    const int64_t y1 = (static_cast<int64_t>(y) + height) / y_scale_;
    // A negative size would draw a turned-over quad and a negative gauge.
    if (x0 >= v_mode->xres || x1 <= 0 || y0 >= v_mode->yres || y1 <= 0 || x1 < x0 || y1 < y0) {
        return -1;
    }
    const int32_t id = icon_list_.count() > 0 ? icon_list_.alloc() : IL_NONE;
    if (id < 0) {
        return -1;
    }
    GLScreenIcon& icon = icons_[id];
    icon.rect = {static_cast<int32_t>(x0), static_cast<int32_t>(x1), static_cast<int32_t>(y0),
                 static_cast<int32_t>(y1)};
    icon.word = 0;
    icon.picture = nullptr;
    icon.shown_width = icon.rect.x1 - icon.rect.x0;
    icon.shown = 1.0f;
    return id;
}

void ScreenManager::set_icon_extent(int id, int32_t extent)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(icon_active(id));
    GLScreenIcon& icon = icons_[id];
    const int32_t full = icon.rect.x1 - icon.rect.x0;
    const int32_t shown = clamp32(extent / x_scale_, 0, full);
    if (shown < icon.shown_width) {
        add_freed_rect({icon.rect.x0 + shown, icon.rect.x0 + icon.shown_width, icon.rect.y0, icon.rect.y1});
    }
    icon.shown_width = shown;
    // An icon narrower than a pixel shows all or nothing.
    icon.shown = full > 0 ? static_cast<float>(shown) / static_cast<float>(full) : 1.0f;
}

void ScreenManager::set_icon_value(int id, IconPicture* value)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(icon_active(id));
    icons_[id].picture = value;
}

void ScreenManager::remove_icon(int id)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(icon_active(id));
    add_freed_rect(icons_[id].rect);
    icons_[id].picture = nullptr;
    icon_list_.free(id);
}

void ScreenManager::add_freed_rect(const GLScreenRect& rect)
{
    const int32_t id = freed_list_.count() > 0 ? freed_list_.alloc() : IL_NONE;
    if (id < 0) {
        return;
    }
    freed_[id].rect = rect;
    // A mode that names no pages still repaints each rectangle once.
    freed_[id].frames_left = std::max<int32_t>(v_mode != nullptr ? v_mode->pages : 1, 1);
}
