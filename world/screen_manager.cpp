#include "world/screen_manager.h"

#include "core/kassert.h"

#include <algorithm>
#include <cstring>

int ScreenManager::init_text(int32_t xres, int32_t yres, int32_t char_width, int32_t line_height, int32_t pages)
{
    release();
    K_ASSERT(xres > 0 && yres > 0 && char_width > 0 && line_height > 0);
    xres_ = xres;
    yres_ = yres;
    char_width_ = char_width;
    line_height_ = line_height;
    pages_ = std::max(pages, 1);
    if (text_list_.create(SCREEN_TEXTS) == 0 || dirty_list_.create(SCREEN_DIRTY) == 0) {
        release();
        return 0;
    }
    return 1;
}

void ScreenManager::release()
{
    text_list_.destroy();
    dirty_list_.destroy();
}

int32_t ScreenManager::string_width(const char* text) const
{
    // Every glyph of the console font is one cell wide.
    const size_t n = std::strlen(text);
    return n >= static_cast<size_t>(INT32_MAX / char_width_) ? INT32_MAX : static_cast<int32_t>(n) * char_width_;
}

void ScreenManager::measure(ScreenText& t) const
{
    const int64_t right = static_cast<int64_t>(t.rect.left) + string_width(t.string);
    t.rect.right = static_cast<int32_t>(std::min<int64_t>(right, xres_));
}

int ScreenManager::add_text(int column, int row, const char* text)
{
    K_ASSERT(text);
    const int32_t id = text_list_.count() > 0 ? text_list_.alloc() : IL_NONE;
    if (id < 0) {
        return -1;
    }
    ScreenText& t = texts_[id];
    t.rect.left = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(column) * char_width_, 0, xres_));
    t.rect.top = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(row) * line_height_, 0, yres_));
    t.rect.bottom = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(t.rect.top) + line_height_, yres_));
    t.word = 0;
    t.string = text;
    measure(t);
    return id;
}

void ScreenManager::set_text(int id, const char* text)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(text_active(id));
    K_ASSERT(text);
    ScreenText& t = texts_[id];
    const ScreenRect old = t.rect;
    t.string = text;
    measure(t);
    if (t.rect.right < old.right) {
        add_dirty_rect(old);
    }
}

void ScreenManager::remove_text(int id)
{
    if (id < 0) {
        return;
    }
    K_ASSERT(text_active(id));
    add_dirty_rect(texts_[id].rect);
    texts_[id].string = nullptr;
    text_list_.free(id);
}

int ScreenManager::text_rows() const { return line_height_ > 0 ? yres_ / line_height_ : 0; }

void ScreenManager::add_dirty_rect(const ScreenRect& rect)
{
    const int32_t id = dirty_list_.count() > 0 ? dirty_list_.alloc() : IL_NONE;
    if (id < 0) {
        return;
    }
    dirty_[id].rect = rect;
    dirty_[id].count = pages_;
}

void ScreenManager::clear()
{
    if (text_list_.count() > 0) {
        text_list_.reset();
    }
    if (dirty_list_.count() > 0) {
        dirty_list_.reset();
    }
}
