#include "renderer/screen_manager.h"

#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "core/timer.h"
#include "gl/gl_bind.h"
#include "host/host_gl.h"
#include "platform/video_mode.h"
#include "renderer/icon_picture.h"
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

int32_t nanoseconds_since(double start)
{
    return static_cast<int32_t>(std::clamp((sys_time() - start) * 1e9, 0.0, 2e9));
}

bool empty(const GLScreenRect& r) { return r.x0 >= r.x1 || r.y0 >= r.y1; }

} // namespace

int ScreenManager::init(KVideoMode* vm, const char* font_name, const char* background_name, const char* loader_name)
{
    close();
    K_ASSERT(vm);
    v_mode = vm;
    font_failed_ = false;
    if (GLSys::init() == 0) {
        return 0;
    }
    if (font_.load(font_name) == 0) {
        // A font refused for its atlas has said why; the file is whole.
        font_failed_ = !font_.atlas_refused();
        return 0;
    }
    font_.set_screen_size(vm->xres, vm->yres);
    background_ = new_picture("BackgroundPicture", background_name);
    loader_ = new_picture("LoaderPicture", loader_name);
    if (background_ == nullptr || loader_ == nullptr) {
        print_string(P_ERROR, "Can't init background texture");
        return 0;
    }
    // A screen wider than the virtual one still gets a scale of 1.
    x_scale_ = std::max<int32_t>(GL_SCREEN_VIRTUAL_WIDTH / std::max<int32_t>(vm->xres, 1), 1);
    y_scale_ = std::max<int32_t>(GL_SCREEN_VIRTUAL_HEIGHT / std::max<int32_t>(vm->yres, 1), 1);
    if (texts_.create() == 0 || icon_list_.create(GL_SCREEN_ICONS) == 0 ||
        freed_list_.create(GL_SCREEN_FREED) == 0) {
        return 0;
    }
    screen_rect_ = {0, vm->xres, 0, vm->yres};
    window_ = screen_rect_;
    loading_ = 0;
    repaint_all_ = 0;
    return 1;
}

IconPicture* ScreenManager::new_picture(const char* block_name, const char* name)
{
    K_ASSERT(name);
    void* const block = kheap_alloc(sizeof(IconPicture), KHEAP_FROM_BOTTOM, block_name);
    if (block == nullptr) {
        return nullptr;
    }
    IconPicture* picture = new (block) IconPicture;
    picture->set_name(name, 0);
    // Loaded now, so that a missing file is named at start-up; it shows the
    // placeholder, the default picture.
    if (picture->touch(reinterpret_cast<uintptr_t>(this)) == 0) {
        delete_picture(picture);
    }
    return picture;
}

void ScreenManager::delete_picture(IconPicture*& picture)
{
    if (picture != nullptr) {
        picture->~IconPicture();
        kheap_release(picture);
        picture = nullptr;
    }
}

void ScreenManager::close()
{
    texts_.destroy();
    icon_list_.destroy();
    freed_list_.destroy();
    for (GLScreenIcon& icon : icons_) {
        icon = {};
    }
    // The textures go back before the texture cache closes.
    delete_picture(background_);
    delete_picture(loader_);
    font_.free_data();
    if (v_mode != nullptr) {
        GLSys::close();
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
    K_ASSERT(v_mode);
    return texts_.add(column, row, string, font_.text_width(string), grid());
}

void ScreenManager::set_text(int id, const char* string)
{
    texts_.set(id, string, v_mode->xres, [this](const char* t) { return font_.text_width(t); },
               [this](const GLScreenRect& r) { add_freed_rect(r); });
}

void ScreenManager::remove_text(int id)
{
    texts_.remove(id, [this](const GLScreenRect& r) { add_freed_rect(r); });
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

void ScreenManager::draw_picture(const GLScreenRect& rect, const IconPicture& picture) const
{
    if (empty(rect) || inside(rect, window_)) {
        return;
    }
    // The picture's texture holds it at the screen's size, one texel a pixel.
    const float sx = 1.0f / static_cast<float>(picture.texture_width);
    const float sy = 1.0f / static_cast<float>(picture.texture_height);
    const float x0 = static_cast<float>(rect.x0);
    const float x1 = static_cast<float>(rect.x1);
    const float y0 = static_cast<float>(rect.y0);
    const float y1 = static_cast<float>(rect.y1);
    glBegin(GL_QUADS);
    glTexCoord2f(x0 * sx, y0 * sy);
    glVertex2f(x0, y0);
    glTexCoord2f(x0 * sx, y1 * sy);
    glVertex2f(x0, y1);
    glTexCoord2f(x1 * sx, y1 * sy);
    glVertex2f(x1, y1);
    glTexCoord2f(x1 * sx, y0 * sy);
    glVertex2f(x1, y0);
    glEnd();
}

void ScreenManager::begin_frame(int loading)
{
    K_ASSERT(v_mode);
    const double start = sys_time();
    repaint_all_ = v_mode->begin_frame() != 0 || loading != loading_ ? 1 : 0;
    loading_ = loading;
    IconPicture* const picture = loading != 0 ? loader_ : background_;
    K_ASSERT(picture);
    const int res = picture->touch(reinterpret_cast<uintptr_t>(this));
    K_ASSERT(res);
    begin_plaindraw();
    const bool drawn = picture->upload() != 0;
    GLSys::set_blending(0);
    if (repaint_all_ != 0) {
        if (drawn) {
            draw_picture(screen_rect_, *picture);
        }
        for (int32_t i = freed_list_.first(); i >= 0; i = freed_list_.next()) {
            if (--freed_[i].frames_left <= 0) {
                freed_list_.free(i);
            }
        }
    } else {
        for (int32_t i = freed_list_.first(); i >= 0; i = freed_list_.next()) {
            if (drawn) {
                draw_picture(freed_[i].rect, *picture);
            }
            if (--freed_[i].frames_left <= 0) {
                freed_list_.free(i);
            }
        }
        if (drawn) {
            for (int32_t i = icon_list_.first(); i >= 0; i = icon_list_.next()) {
                draw_picture(icons_[i].rect, *picture);
            }
            for (int32_t i = texts_.list().first(); i >= 0; i = texts_.list().next()) {
                draw_picture(texts_.entry(i).rect, *picture);
            }
        }
    }
    GLSys::report_errors("End from ScreenManager::begin_frame()");
    finish_plaindraw();
    clear_time_ = nanoseconds_since(start);
}

void ScreenManager::draw_icon(const GLScreenIcon& icon)
{
    const int res = icon.picture->touch(reinterpret_cast<uintptr_t>(this));
    K_ASSERT(res);
    if (icon.shown_width <= 0 || icon.picture->upload() == 0) {
        return;
    }
    GLSys::set_blending(1);
    const float s = icon.shown * icon.picture->s_extent;
    const float t = icon.picture->t_extent;
    const float x0 = static_cast<float>(icon.rect.x0);
    const float x1 = static_cast<float>(icon.rect.x0 + icon.shown_width);
    const float y0 = static_cast<float>(icon.rect.y0);
    const float y1 = static_cast<float>(icon.rect.y1);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(x0, y0);
    glTexCoord2f(0.0f, t);
    glVertex2f(x0, y1);
    glTexCoord2f(s, t);
    glVertex2f(x1, y1);
    glTexCoord2f(s, 0.0f);
    glVertex2f(x1, y0);
    glEnd();
    GLSys::report_errors("End from ScreenManager::draw_icon()");
}

void ScreenManager::present(int screenshot)
{
    K_ASSERT(v_mode);
    double start = sys_time();
    begin_plaindraw();
    for (int32_t i = icon_list_.first(); i >= 0; i = icon_list_.next()) {
        if (icons_[i].picture != nullptr) {
            draw_icon(icons_[i]);
        }
    }
    for (int32_t i = texts_.list().first(); i >= 0; i = texts_.list().next()) {
        font_.draw_string(texts_.entry(i).rect.x0, texts_.entry(i).rect.y0, texts_.entry(i).string);
    }
    finish_plaindraw();
    draw_time_ = nanoseconds_since(start);

    start = sys_time();
    if (screenshot != 0) {
        const int32_t width = v_mode->xres;
        const int32_t height = v_mode->yres;
        uint32_t* const pixels =
            new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)]();
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
