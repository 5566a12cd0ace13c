#pragma once
// The screen around the 3-D window. So far only its text list, which the
// console draws on: texts at character cells, kept by pointer, measured and
// clipped to the screen, each change queueing the rectangle it uncovers.
#include "core/index_list.h"
#include "core/text_screen.h"

#include <cstdint>

constexpr int SCREEN_TEXTS = 64;
constexpr int SCREEN_DIRTY = 64;

// Screen pixels, right and bottom exclusive.
struct ScreenRect {
    int32_t left = 0;
    int32_t right = 0;
    int32_t top = 0;
    int32_t bottom = 0;
};

struct ScreenText {
    ScreenRect rect;
    int32_t word = 0;
    const char* string = nullptr; // the caller's text, not a copy
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

    // The mode's size, the font's cell and the mode's page count; the video
    // mode and the font give them once they are bound. 1, or 0 when the lists
    // cannot be created.
    int init_text(int32_t xres, int32_t yres, int32_t char_width, int32_t line_height, int32_t pages);
    void release();

    int add_text(int column, int row, const char* text) override;
    void set_text(int id, const char* text) override;
    void remove_text(int id) override;
    int text_rows() const override;

    void add_dirty_rect(const ScreenRect& rect);
    // Resets the lists, every record free, nothing queued.
    void clear();

    const ScreenText& text(int id) const { return texts_[id]; }
    bool text_active(int id) const
    {
        return id >= 0 && id < text_list_.count() && text_list_.contains(id) != 0;
    }
    IndexList& text_list() { return text_list_; }
    IndexList& dirty_list() { return dirty_list_; }
    const ScreenDirty& dirty(int id) const { return dirty_[id]; }

private:
    int32_t string_width(const char* text) const;
    void measure(ScreenText& t) const;

    int32_t xres_ = 0;
    int32_t yres_ = 0;
    int32_t char_width_ = 0;
    int32_t line_height_ = 0;
    int32_t pages_ = 1;
    ScreenText texts_[SCREEN_TEXTS];
    IndexList text_list_;
    ScreenDirty dirty_[SCREEN_DIRTY];
    IndexList dirty_list_;
};
