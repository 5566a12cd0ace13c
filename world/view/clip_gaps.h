#pragma once
// The clip-gap table: per scan line, the horizontal intervals still
// uncovered, in increasing x. Opaque polygons cut their spans out of it;
// later polygons are tested against what is left.
//
// Points are 16.16 screen coordinates, x then y, one pair a vertex, wound
// clockwise on the y-down screen (the forward walk from the top vertex is the
// right edge). Pixel (x, y) belongs to a polygon when the point (x, y) lies
// inside: lines from ceil(top) to ceil(bottom) - 1, on each line the pixels
// from ceil(left x) to ceil(right x) - 1. Gap bounds are whole pixels (16.16).
#include <cstdint>

struct ClipGap {
    int32_t x0; // first uncovered x
    int32_t x1; // end of the gap, exclusive
    ClipGap* next;
};

constexpr int32_t CLIP_GAPS_PER_LINE = 50;

class ClipGaps {
public:
    ClipGaps() = default;
    ~ClipGaps() { free(); }
    ClipGaps(const ClipGaps&) = delete;
    ClipGaps& operator=(const ClipGaps&) = delete;

    // 1, or 0 when memory runs out.
    int alloc(int32_t width, int32_t max_yres);
    void free();
    void set_resolution(int32_t width, int32_t yres);
    // Every line one gap across the whole width.
    void reset();

    // 1 when some pixel of the polygon lies in a gap.
    int test_polygon(const int32_t* points, int32_t count);
    // The same answer, and the polygon's pixels are removed from the gaps.
    int clip_polygon(const int32_t* points, int32_t count);

    bool covered() const { return first_open > last_open; }
    const ClipGap* line(int32_t y) const { return heads_[y]; }

    int32_t width = 0;
    int32_t yres = 0;
    int32_t max_yres = 0;
    int32_t active_clipgaps = 0;
    int32_t max_clipgaps = 0;
    int32_t first_open = 0;
    int32_t last_open = -1;
    int32_t top_bound = 0;    // 16.16: first open line
    int32_t bottom_bound = 0; // 16.16: last open line + 1/65536
    int32_t unclipped = 0;    // polygons passed as visible for want of records, since reset

private:
    template <bool Clip>
    int scan(const int32_t* points, int32_t count);
    ClipGap* take_record();
    void release_record(ClipGap* gap);
    void close_line(int32_t y);
    bool test_line(int32_t y, int32_t left, int32_t right) const;
    bool clip_line(int32_t y, int32_t left, int32_t right);

    ClipGap* records_ = nullptr;
    ClipGap** heads_ = nullptr;
    ClipGap* fresh_ = nullptr;
    ClipGap* free_list_ = nullptr;
};
