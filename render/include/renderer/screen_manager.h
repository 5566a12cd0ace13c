#pragma once
// ScreenManager: the whole screen of the software renderer around the 3-D
// window. It binds the video mode, paints the area outside the window with
// the background picture (or the loader picture while a map loads), draws
// the texts (console lines) and icons over the screen, and passes the video
// mode only the rectangles that changed: each queued rectangle for as many
// frames as the mode has pages, then the texts, icons and the window.
// Icon places are given on a virtual screen of 25600 x 19200 units.
#include "core/index_list.h"
#include "core/text_screen.h"
#include "render/gd_font.h"
#include "world/view/screen_texts.h"

#include <cstdint>

class ConfigVariable;
class IconPicture;
class KVideoMode;

constexpr int SCREEN_ICONS = 64;
constexpr int SCREEN_DIRTY = 64;
constexpr int32_t SCREEN_VIRTUAL_WIDTH = 25600;
constexpr int32_t SCREEN_VIRTUAL_HEIGHT = 19200;
constexpr uint32_t SCREEN_TEXT_COLOUR = 0x80808080;

// Screen pixels, right and bottom exclusive.
struct ScreenRect {
    int32_t left = 0;
    int32_t right = 0;
    int32_t top = 0;
    int32_t bottom = 0;
};

using ScreenText = ScreenTextEntry<ScreenRect>;

struct ScreenIcon {
    ScreenRect rect;               // clipped to the screen
    IconPicture* image = nullptr;  // null draws nothing
    int32_t x_start = 0;           // 16.16 part of the width cut off at the left edge
    int32_t y_start = 0;           // and of the height at the top edge
    int32_t cut_x = 0;             // pixels cut off at the left edge
    int32_t cut_y = 0;             // and at the top edge
    int32_t full_width = 0;        // pixels before clipping
    int32_t full_height = 0;
    int32_t shown_width = 0;       // pixels drawn of each row
};

struct ScreenDirty {
    ScreenRect rect;
    int32_t count = 0; // further frames in which it is still presented
};

class ScreenManager final : public TextScreen {
public:
    ScreenManager() = default;
    ~ScreenManager() override { release(); }
    ScreenManager(const ScreenManager&) = delete;
    ScreenManager& operator=(const ScreenManager&) = delete;

    // 1, or 0 when the font can't be loaded, a picture can't be allocated,
    // MMX can't be linked or a list can't be created.
    int init(KVideoMode* vm, const char* background_name, const char* loader_name, const char* font_name);
    void release();
    void shutdown() { release(); }

    // The 3-D window, centred; must fit the mode.
    void set_window_size(int32_t xsize, int32_t ysize);

    int add_text(int column, int row, const char* string) override;
    void set_text(int id, const char* string) override;
    void remove_text(int id) override;
    int text_rows() const override;

    // x, y, w, h in virtual units; the id, or -1 when the icon lies wholly off
    // the screen, has a negative size or all records are used.
    int add_icon(int32_t x, int32_t y, int32_t w, int32_t h);
    void set_icon_image(int id, IconPicture* image);
    // value: the shown width in virtual units from the icon's left edge.
    void set_icon_extent(int id, int32_t value);
    void remove_icon(int id);

    // Dropped when all 64 dirty records are used.
    void add_dirty_rect(const ScreenRect& rect);
    // Every record free, nothing queued.
    void clear();

    void begin_frame(int loading);
    void present(int screenshot);
    void print_timing() const;

    KVideoMode* v_mode = nullptr; // first: the projection reads it through the manager

    const GD_Font& font() const { return font_; }
    const ScreenRect& window() const { return window_; }
    const ScreenRect& screen_rect() const { return screen_rect_; }
    int32_t x_unit() const { return x_unit_; }
    int32_t y_unit() const { return y_unit_; }
    int repaint_all() const { return repaint_all_; }
    int32_t shot_number() const { return shot_number_; }
    IconPicture* background() const { return background_; }
    IconPicture* loader() const { return loader_; }
    const ScreenText& text(int id) const { return texts_.entry(id); }
    const ScreenIcon& icon(int id) const { return icons_[id]; }
    const ScreenDirty& dirty(int id) const { return dirty_[id]; }
    bool text_active(int id) const { return texts_.active(id); }
    bool icon_active(int id) const { return active(icon_list_, id); }
    IndexList& text_list() { return texts_.list(); }
    IndexList& icon_list() { return icon_list_; }
    IndexList& dirty_list() { return dirty_list_; }

private:
    static bool active(const IndexList& list, int id)
    {
        return id >= 0 && id < list.count() && list.contains(id) != 0;
    }
    TextGrid grid() const;
    IconPicture* new_picture(const char* block_name);
    static void delete_picture(IconPicture*& picture);
    // The picture, loaded.
    IconPicture* touched(IconPicture* picture);
    void paint_outside(const ScreenRect& rect, const IconPicture* picture);
    void paint_run(uint32_t* line, int32_t from, int32_t to, const uint8_t* texels, const uint32_t* palette,
                   int32_t step) const;
    void draw_icon(const ScreenIcon& record);
    // Passes the rectangle to the video mode unless the window covers it.
    void present_outside(const ScreenRect& rect) const;

    GD_Font font_;
    IconPicture* background_ = nullptr;
    IconPicture* loader_ = nullptr;
    int loading_ = 0;
    ScreenRect window_;
    ScreenRect screen_rect_;
    ConfigVariable* mmx_ = nullptr;
    int32_t x_unit_ = 1;
    int32_t y_unit_ = 1;
    int repaint_all_ = 0;
    int32_t shot_number_ = 0;
    // Nanoseconds of the last frame spent painting, drawing and presenting.
    int32_t clear_time_ = 0;
    int32_t draw_time_ = 0;
    int32_t video_time_ = 0;
    ScreenTexts<ScreenRect> texts_;
    ScreenIcon icons_[SCREEN_ICONS];
    IndexList icon_list_;
    ScreenDirty dirty_[SCREEN_DIRTY];
    IndexList dirty_list_;
};

// What IconHandle asks of the screen, in one order for both programs.
inline int icon_screen_add(ScreenManager& screen, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return screen.add_icon(x, y, w, h);
}
inline void icon_screen_set_picture(ScreenManager& screen, int id, IconPicture* picture)
{
    screen.set_icon_image(id, picture);
}
