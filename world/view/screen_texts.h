#pragma once
// The text list of both programs' screen managers: texts at character cells
// (the console's lines), each measured with the screen's font and clipped to
// the screen. The list keeps the caller's pointer, not a copy. Rect is the
// program's screen rectangle, four int32 fields in the order left, right,
// top, bottom (right and bottom exclusive).
#include "core/index_list.h"
#include "core/kassert.h"

#include <algorithm>
#include <cstdint>

constexpr int SCREEN_TEXTS = 64;

// The screen in pixels and the font's cell.
struct TextGrid {
    int32_t xres = 0;
    int32_t yres = 0;
    int32_t advance = 0; // a column
    int32_t line = 0;    // a row
};

template <typename Rect>
struct ScreenTextEntry {
    Rect rect{};
    int32_t word = 0;
    const char* string = nullptr; // the caller's text, not a copy
};

template <typename Rect>
class ScreenTexts {
public:
    using Entry = ScreenTextEntry<Rect>;

    int create() { return list_.create(SCREEN_TEXTS); }
    void destroy()
    {
        list_.destroy();
        for (Entry& e : entries_) {
            e = {};
        }
    }

    // width: the string's width in the font. The id, or -1 when the list is full.
    int add(int column, int row, const char* string, int32_t width, const TextGrid& grid)
    {
        K_ASSERT(string);
        const int32_t id = list_.count() > 0 ? list_.alloc() : IL_NONE;
        if (id < 0) {
            return -1;
        }
        Entry& t = entries_[id];
        const int32_t left = clamp32(static_cast<int64_t>(column) * grid.advance, 0, grid.xres);
        const int32_t top = clamp32(static_cast<int64_t>(row) * grid.line, 0, grid.yres);
        t.rect = Rect{left, right_edge(left, width, grid.xres), top,
                      clamp32(static_cast<int64_t>(top) + grid.line, 0, grid.yres)};
        t.word = 0;
        t.string = string;
        return id;
    }
    // Replaces the string of an active text (a negative id does nothing);
    // when the text became narrower its old rectangle goes to `freed`.
    // measure(string) gives a string's width in the font.
    template <typename Measure, typename Freed>
    void set(int id, const char* string, int32_t xres, Measure measure, Freed freed)
    {
        if (id < 0) {
            return;
        }
        K_ASSERT(active(id));
        K_ASSERT(string);
        Entry& t = entries_[id];
        const Rect old = t.rect;
        auto& [left, right, top, bottom] = t.rect;
        t.string = string;
        right = right_edge(left, measure(string), xres);
        if (right < old_right(old)) {
            freed(old);
        }
    }
    // Frees an active text (a negative id does nothing); its rectangle goes to `freed`.
    template <typename Freed>
    void remove(int id, Freed freed)
    {
        if (id < 0) {
            return;
        }
        K_ASSERT(active(id));
        const Rect rect = entries_[id].rect;
        entries_[id].string = nullptr;
        list_.free(id);
        freed(rect);
    }

    bool active(int id) const { return id >= 0 && id < list_.count() && list_.contains(id) != 0; }
    const Entry& entry(int id) const { return entries_[id]; }
    IndexList& list() { return list_; }

private:
    static int32_t clamp32(int64_t v, int64_t low, int64_t high)
    {
        return static_cast<int32_t>(std::clamp(v, low, high));
    }
    static int32_t old_right(const Rect& rect)
    {
        const auto& [left, right, top, bottom] = rect;
        return right;
    }
    static int32_t right_edge(int32_t left, int32_t width, int32_t xres)
    {
        return static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(left) + width, xres));
    }

    Entry entries_[SCREEN_TEXTS];
    IndexList list_;
};
