#pragma once
// ScreenManager of the OpenGL program. A double-buffered window keeps no
// frame between frames, so the 2-D layer is drawn again every frame in
// plain-draw mode (one unit a pixel, y growing downwards): the background
// (or, while a map loads, the loader picture) behind the texts, icons and
// queued freed rectangles before the world, the icons and texts after it.
// It owns the font and both pictures, keeps the text (the console's lines),
// icon and freed-rectangle lists, brackets each frame and takes screen shots
// by reading the frame back.
// Icon places are given on a virtual screen of 25600 x 19200 units.
#include "core/index_list.h"
#include "core/text_screen.h"
#include "gl/gl_font.h"
#include "world/view/screen_texts.h"

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

using GLScreenText = ScreenTextEntry<GLScreenRect>;

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

class ScreenManager final : public TextScreen {
public:
    ScreenManager() = default;
    ~ScreenManager() override { shutdown(); }
    ScreenManager(const ScreenManager&) = delete;
    ScreenManager& operator=(const ScreenManager&) = delete;

    // Needs the mode's context current; 1, or 0 when GL, the font, a picture
    // ("Can't init background texture") or a list fails. A picture file that
    // can't be read shows the placeholder instead.
    int init(KVideoMode* vm, const char* font_name, const char* background_name, const char* loader_name);
    void close();
    void shutdown() { close(); }

    int add_text(int column, int row, const char* string) override;
    void set_text(int id, const char* string) override;
    void remove_text(int id) override;
    int text_rows() const override;

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
    // "Screen: Clear=%.1f, Draw=%.1f, Video=%.1f": nanoseconds a pixel of
    // the last frame spent on the backdrop, the 2-D layer and presenting.
    void print_timing() const;

    KVideoMode* v_mode = nullptr; // first: the projection reads it through the manager

    GD_Font& font() { return font_; }
    // The last init stopped at a font file that is missing or damaged (one
    // refused for its atlas says so itself).
    bool font_failed() const { return font_failed_; }
    IconPicture* background() const { return background_; }
    IconPicture* loader() const { return loader_; }
    const GLScreenRect& window() const { return window_; }
    const GLScreenRect& screen_rect() const { return screen_rect_; }
    int32_t x_scale() const { return x_scale_; }
    int32_t y_scale() const { return y_scale_; }
    int loading() const { return loading_; }
    int32_t shot_number() const { return shot_number_; }
    // 1 when the last begin_frame repainted the whole screen.
    int repaint_all() const { return repaint_all_; }
    const GLScreenText& text(int id) const { return texts_.entry(id); }
    bool text_active(int id) const { return texts_.active(id); }
    IndexList& text_list() { return texts_.list(); }
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

    TextGrid grid() const;
    IconPicture* new_picture(const char* block_name, const char* name);
    static void delete_picture(IconPicture*& picture);
    // The picture behind a rectangle unless the 3-D window covers it wholly.
    void draw_picture(const GLScreenRect& rect, const IconPicture& picture) const;
    void draw_icon(const GLScreenIcon& icon);

    GD_Font font_;
    bool font_failed_ = false;
    IconPicture* background_ = nullptr;
    IconPicture* loader_ = nullptr;
    GLScreenRect window_;
    GLScreenRect screen_rect_;
    int loading_ = 0;
    int32_t x_scale_ = 1;
    int32_t y_scale_ = 1;
    int32_t shot_number_ = 0;
    int repaint_all_ = 0;
    // Nanoseconds of the last frame spent on the backdrop, drawing and presenting.
    int32_t clear_time_ = 0;
    int32_t draw_time_ = 0;
    int32_t video_time_ = 0;
    ScreenTexts<GLScreenRect> texts_;
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
