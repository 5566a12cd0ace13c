#include "world/view/clip_gaps.h"

#include "core/kassert.h"
#include "world/view/screen_edge.h"

#include <algorithm>
#include <new>

namespace {

// One side of the polygon walked down from the top vertex: forwards through
// the vertex list (the right side) or backwards (the left).
class SideWalker {
public:
    SideWalker(const int32_t* points, int32_t count, int32_t top, int32_t direction)
        : points_(points), count_(count), direction_(direction), at_(top), next_(step(top))
    {
    }

    // The side's first pixel right of it on `line`; false when the side has no edge there.
    bool pixel_at(int64_t line, int64_t& x)
    {
        const int64_t y = line << 16;
        int32_t guard = count_;
        while (py(next_) <= y && guard-- > 0) {
            at_ = next_;
            next_ = step(next_);
            placed_ = false;
        }
        if (py(next_) <= y || py(at_) > y) {
            return false;
        }
        if (!placed_) {
            edge_.place(px(at_), py(at_), px(next_), py(next_), line);
            placed_ = true;
        } else {
            edge_.advance();
        }
        x = edge_.pixel();
        return true;
    }

private:
    int32_t step(int32_t i) const { return (i + direction_ + count_) % count_; }
    int64_t px(int32_t i) const { return points_[2 * i]; }
    int64_t py(int32_t i) const { return points_[2 * i + 1]; }

    const int32_t* points_;
    int32_t count_;
    int32_t direction_;
    int32_t at_;
    int32_t next_;
    bool placed_ = false;
    ScreenEdge edge_;
};

} // namespace

int ClipGaps::alloc(int32_t w, int32_t max_lines)
{
    free();
    max_clipgaps = CLIP_GAPS_PER_LINE * max_lines;
    records_ = new (std::nothrow) ClipGap[static_cast<size_t>(max_clipgaps)];
    heads_ = new (std::nothrow) ClipGap*[static_cast<size_t>(max_lines)];
    if (records_ == nullptr || heads_ == nullptr) {
        free();
        return 0;
    }
    width = w;
    max_yres = max_lines;
    yres = max_lines;
    reset();
    return 1;
}

void ClipGaps::free()
{
    delete[] records_;
    records_ = nullptr;
    delete[] heads_;
    heads_ = nullptr;
    max_clipgaps = 0;
    max_yres = 0;
    yres = 0;
    first_open = 0;
    last_open = -1;
}

void ClipGaps::set_resolution(int32_t w, int32_t lines)
{
    K_ASSERT(lines <= max_yres);
    width = w;
    yres = lines;
}

void ClipGaps::reset()
{
    first_open = 0;
    last_open = yres - 1;
    top_bound = 0;
    bottom_bound = static_cast<int32_t>(static_cast<uint32_t>(yres - 1) << 16) + 1;
    free_list_ = nullptr;
    fresh_ = records_;
    unclipped = 0;
    for (int32_t y = 0; y < yres; ++y) {
        ClipGap* gap = fresh_++;
        *gap = ClipGap{0, static_cast<int32_t>(static_cast<uint32_t>(width) << 16), nullptr};
        heads_[y] = gap;
    }
    active_clipgaps = yres;
}

ClipGap* ClipGaps::take_record()
{
    if (free_list_ != nullptr) {
        ClipGap* gap = free_list_;
        free_list_ = gap->next;
        return gap;
    }
    ++active_clipgaps;
    return fresh_++;
}

void ClipGaps::release_record(ClipGap* gap)
{
    gap->next = free_list_;
    free_list_ = gap;
}

void ClipGaps::close_line(int32_t y)
{
    heads_[y] = nullptr;
    if (y == first_open) {
        while (first_open <= last_open && heads_[first_open] == nullptr) {
            ++first_open;
        }
        top_bound = static_cast<int32_t>(static_cast<uint32_t>(first_open) << 16);
    }
    if (y == last_open) {
        while (last_open >= first_open && heads_[last_open] == nullptr) {
            --last_open;
        }
        bottom_bound = static_cast<int32_t>(static_cast<uint32_t>(last_open) * 65536u + 1u);
    }
}

bool ClipGaps::test_line(int32_t y, int32_t left, int32_t right) const
{
    for (const ClipGap* gap = heads_[y]; gap != nullptr; gap = gap->next) {
        if (gap->x1 > left) {
            return gap->x0 < right;
        }
    }
    return false;
}

bool ClipGaps::clip_line(int32_t y, int32_t left, int32_t right)
{
    bool touched = false;
    ClipGap** link = &heads_[y];
    while (*link != nullptr) {
        ClipGap* gap = *link;
        if (gap->x1 <= left) {
            link = &gap->next;
            continue;
        }
        if (gap->x0 >= right) {
            break;
        }
        touched = true;
        if (gap->x0 >= left && gap->x1 <= right) {
            *link = gap->next;
            release_record(gap);
            continue;
        }
        if (gap->x0 < left && gap->x1 > right) {
            ClipGap* second = take_record();
            *second = ClipGap{right, gap->x1, gap->next};
            gap->x1 = left;
            gap->next = second;
            break;
        }
        if (gap->x0 < left) {
            gap->x1 = left;
            link = &gap->next;
        } else {
            gap->x0 = right;
            break;
        }
    }
    if (heads_[y] == nullptr) {
        close_line(y);
    }
    return touched;
}

template <bool Clip>
int ClipGaps::scan(const int32_t* points, int32_t count)
{
    if (count < 3 || covered()) {
        return 0;
    }
    if (Clip && active_clipgaps + yres > max_clipgaps) {
        ++unclipped;
        return 1;
    }
    int32_t top = 0;
    int32_t bottom = 0;
    for (int32_t i = 1; i < count; ++i) {
        if (points[2 * i + 1] < points[2 * top + 1]) {
            top = i;
        }
        if (points[2 * i + 1] > points[2 * bottom + 1]) {
            bottom = i;
        }
    }
    const int64_t first = ceil_line(std::max<int64_t>(points[2 * top + 1], top_bound));
    const int64_t end_y = std::min<int64_t>(points[2 * bottom + 1], bottom_bound);
    SideWalker left_side(points, count, top, -1);
    SideWalker right_side(points, count, top, 1);
    int result = 0;
    for (int64_t line = first; (line << 16) < end_y; ++line) {
        int64_t xl;
        int64_t xr;
        if (!left_side.pixel_at(line, xl) || !right_side.pixel_at(line, xr)) {
            break;
        }
        const int64_t left = std::clamp<int64_t>(xl, 0, width) << 16;
        const int64_t right = std::clamp<int64_t>(xr, 0, width) << 16;
        if (left >= right) {
            continue;
        }
        const int32_t y = static_cast<int32_t>(line);
        if (Clip) {
            result |= clip_line(y, static_cast<int32_t>(left), static_cast<int32_t>(right)) ? 1 : 0;
        } else if (test_line(y, static_cast<int32_t>(left), static_cast<int32_t>(right))) {
            return 1;
        }
    }
    return result;
}

int ClipGaps::test_polygon(const int32_t* points, int32_t count) { return scan<false>(points, count); }

int ClipGaps::clip_polygon(const int32_t* points, int32_t count) { return scan<true>(points, count); }
