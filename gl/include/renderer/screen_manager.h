#pragma once
// ScreenManager of the OpenGL program. A double-buffered window keeps no
// frame between frames, so the 2-D layer is drawn again every frame in
// plain-draw mode (one unit a pixel, y growing downwards): the background
// behind the icons and queued freed rectangles before the world, the icons
// after it. It keeps the icon and freed-rectangle lists, brackets each frame
// and takes screen shots by reading the frame back.
// Icon places are given on a virtual screen of 25600 x 19200 units.
#include "core/index_list.h"

#include <cstdint>

class IconPicture;
class KVideoMode;

constexpr int GL_SCREEN_ICONS = 64;
constexpr int GL_SCREEN_FREED = 64;
constexpr int32_t GL_SCREEN_VIRTUAL_WIDTH = 25600;
constexpr int32_t GL_SCREEN_VIRTUAL_HEIGHT = 19200;

// Screen pixels, x1 and y1 exclusive.
struct GLScreenRect {
    int32_t x0 = 0;
    int32_t x1 = 0;
    int32_t y0 = 0;
    int32_t y1 = 0;
};

struct GLScreenIcon {
    GLScreenRect rect;
    int32_t word = 0;
    IconPicture* picture = nullptr; // the icon's value; null draws nothing
    int32_t shown_width = 0;        // pixels from the left edge
    float shown = 1.0f;             // shown width / full width
};

struct GLScreenFreed {
    GLScreenRect rect;
    int32_t frames_left = 0;
};

class ScreenManager {
public:
    ScreenManager() = default;
    ~ScreenManager() { shutdown(); }
    ScreenManager(const ScreenManager&) = delete;
    ScreenManager& operator=(const ScreenManager&) = delete;

    // Needs the mode's context current; 1, or 0 when GL or a list fails.
    int init(KVideoMode* vm);
    void close();
    void shutdown() { close(); }

    // The 3-D window, centred; the area it gives up is repainted.
    void set_window_size(int32_t xsize, int32_t ysize);

    // Before the world: loading is 1 while a map loads.
    void begin_frame(int loading);
    // After the world: the overlay, the shot when asked for, the swap.
    void present(int screenshot);

    // Pushes both matrices; finish_plaindraw pops them again.
    void begin_plaindraw();
    void finish_plaindraw();

    // x, width, y, height in virtual units; the id, or -1 when the icon lies
    // wholly off the screen or all entries are used.
    int add_icon(int32_t x, int32_t width, int32_t y, int32_t height);
    // The shown width in virtual units from the icon's left edge.
    void set_icon_extent(int id, int32_t extent);
    void set_icon_value(int id, IconPicture* value);
    void remove_icon(int id);
    // Repainted over as many frames as the mode has pages; dropped when the
    // list is full.
    void add_freed_rect(const GLScreenRect& rect);

    KVideoMode* v_mode = nullptr;

    const GLScreenRect& window() const { return window_; }
    const GLScreenRect& screen_rect() const { return screen_rect_; }
    int32_t x_scale() const { return x_scale_; }
    int32_t y_scale() const { return y_scale_; }
    int loading() const { return loading_; }
    int32_t shot_number() const { return shot_number_; }
    // 1 when the last begin_frame repainted the whole screen.
    int repaint_all() const { return repaint_all_; }
    const GLScreenIcon& icon(int id) const { return icons_[id]; }
    const GLScreenFreed& freed(int id) const { return freed_[id]; }
    bool icon_active(int id) const { return active(icon_list_, id); }
    IndexList& icon_list() { return icon_list_; }
    IndexList& freed_list() { return freed_list_; }

private:
    static bool active(const IndexList& list, int id)
    {
        return id >= 0 && id < list.count() && list.contains(id) != 0;
    }

    GLScreenRect window_;
    GLScreenRect screen_rect_;
    int loading_ = 0;
    int32_t x_scale_ = 1;
    int32_t y_scale_ = 1;
    int32_t shot_number_ = 0;
    int repaint_all_ = 0;
    GLScreenIcon icons_[GL_SCREEN_ICONS];
    IndexList icon_list_;
    GLScreenFreed freed_[GL_SCREEN_FREED];
    IndexList freed_list_;
};

// What IconHandle asks of the screen, in one order for both programs.
inline int icon_screen_add(ScreenManager& screen, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return screen.add_icon(x, w, y, h);
}
inline void icon_screen_set_picture(ScreenManager& screen, int id, IconPicture* picture)
{
    screen.set_icon_value(id, picture);
}
