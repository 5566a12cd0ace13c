#pragma once
// The scan converter of the polygon renderer. Each accepted polygon becomes a
// surface with its screen edges (an edge shared by two polygons is stored
// once); at the end of the frame every line is walked in x order, surfaces
// enter and leave a stack kept nearest first, and each surface receives the
// spans where it is on top, or visible through transparent surfaces above it.
//
// Polygons wind clockwise on the y-down screen: an edge going up is a left
// edge and opens its surface (the surface lies right of it), an edge going
// down is a right edge and closes it. A polygon of the other winding closes
// before it opens on every line and gets no span.
//
// Pixel (x, y) belongs to the surface whose edges put the point (x, y) inside:
// lines from ceil(top y), on each line from ceil(x) of the opening edge to
// ceil(x) - 1 of the closing one (16.16 coordinates).
//
// Fixed pools; when one is full, the polygon (or span) is dropped and counted,
// and the first drop of a frame is reported.
#include "world/view/screen_edge.h"
#include "world/map_polygon.h"

#include <cstdint>

constexpr int32_t EDGE_LIST_MAX_EDGES = 0x1FA0;
constexpr int32_t EDGE_LIST_MAX_SURFACES = 0x800;
constexpr int32_t EDGE_LIST_MAX_SPANS = 0x10000;
constexpr int EDGE_CACHE_SIZE = 256;
// Depth planes closer than this (2^32 / z units) are ordered by their x slope.
constexpr int64_t EDGE_DEPTH_TIE = 4096;

constexpr uint32_t SURFACE_TRANSPARENT = 0x1;
constexpr uint32_t SURFACE_IN_LIST = 0x2;
constexpr uint32_t SURFACE_VISIBLE = 0x4;
constexpr uint32_t SURFACE_INVALID = 0x8;
constexpr uint32_t SURFACE_TRANSPARENT_FACE = 0x1000000;

struct Span {
    int32_t x; // first pixel
    int32_t y;
    int32_t count;
    Span* next;
};

struct Surface {
    Surface* next_in_face;
    uint32_t flags;
    PolygonRef ref;
    Surface* back; // stack: toward the top
    Surface* next; // stack: further away
    int32_t visible_x;
    int32_t inside; // opening minus closing edges met on the current line
    Span* spans;
};

struct Edge {
    Surface* closes; // the surface left of the edge
    Surface* opens;  // the surface right of it
    ScreenEdge step; // x at the current line
    int32_t last_line;
    Edge* next_in_line;
    Edge* prev;
    Edge* next;
};

struct EdgeCacheEntry {
    int32_t x0, y0, x1, y1;
    Edge* edge;
    int32_t stamp;
};

class EdgeList {
public:
    EdgeList() = default;
    ~EdgeList() { free(); }
    EdgeList(const EdgeList&) = delete;
    EdgeList& operator=(const EdgeList&) = delete;

    // Pools, and line heads for max_height lines; 1, or 0 when memory runs out.
    int init(int32_t width, int32_t max_height);
    void free();
    void set_resolution(int32_t width, int32_t height);
    void reset();

    // A surface for the polygon and one edge per side (from vertex i - 1 to
    // i); points are 16.16 x, y pairs. Null when a pool is full (counted).
    // A face with FACE_TRANSPARENT makes a transparent surface.
    Surface* add_surface(const PolygonRef& ref, const int32_t* points, int32_t count, float mean_depth);
    void add_edge(const int32_t* a, const int32_t* b, Surface* s);
    void scan();
    void print_stats() const;

    // Positive when a is nearer than b at pixel (x, y).
    static int compare_depth(const Surface* a, const Surface* b, int32_t x, int32_t y);

    int32_t width = 0;
    int32_t height = 0;
    int32_t max_height = 0;
    int32_t active_edges = 0;
    int32_t active_surfaces = 0;
    int32_t active_spans = 0;
    int32_t frame = 0;
    int32_t dropped_polygons = 0; // this frame, for want of edges or surfaces
    int32_t dropped_spans = 0;
    int32_t unbalanced_lines = 0; // lines that ended with surfaces still on the stack

    Surface* surfaces() const { return surfaces_; }
    // Edges that start on line y, in x order.
    const Edge* line_edges(int32_t y) const { return line_heads_[y]; }

private:
    void enter_surface(Surface* s, int32_t x, int32_t y);
    void leave_surface(Surface* s, int32_t x, int32_t y);
    void switch_surface(Surface* old_s, Surface* new_s, int32_t x, int32_t y);
    void emit_span(Surface* s, int32_t x, int32_t y);
    void make_visible(Surface* s, int32_t x);
    void hide_below(Surface* s, int32_t x, int32_t y);
    void report_drop();
    void finish_line(int32_t y);

    Edge* edges_ = nullptr;
    Edge** line_heads_ = nullptr;
    EdgeCacheEntry down_cache_[EDGE_CACHE_SIZE] = {};
    EdgeCacheEntry up_cache_[EDGE_CACHE_SIZE] = {};
    Surface* surfaces_ = nullptr;
    Span* spans_ = nullptr;
    Surface head_ = {};
    Surface tail_ = {};
    Edge active_head_ = {};
    Edge active_tail_ = {};
    bool drop_reported_ = false;
};
