#include "soft/mesh_triangle.h"

#include <algorithm>
#include <cmath>

#include "core/numerics.h"
#include "soft/mesh_span.h"

namespace {

// Products of two coordinate differences (33 bits each) need 66 bits.
__extension__ typedef __int128 int128;

int64_t ceil_fixed(int64_t x) { return (x + 0xFFFF) >> 16; }

// floor((a b + c) / d) and the rest, for d > 0, when the quotient is below
// 2^49 in size. The quotient of the doubles is within a step of the true one
// (cheaper than a 64-bit division); the rest, small, may be computed from
// products that wrap, and puts the quotient right.
int64_t floor_div(int64_t a, int64_t b, int64_t c, int64_t d, double reciprocal, int64_t* rest)
{
    int64_t q = static_cast<int64_t>((static_cast<double>(a) * static_cast<double>(b) + static_cast<double>(c)) *
                                     reciprocal);
    int64_t r = static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b) + static_cast<uint64_t>(c) -
                                     static_cast<uint64_t>(q) * static_cast<uint64_t>(d));
    while (r < 0) {
        --q;
        r += d;
    }
    while (r >= d) {
        ++q;
        r -= d;
    }
    *rest = r;
    return q;
}

struct TriangleShape {
    const MeshVertex* corner[3]; // in index order
    int top;
    int middle;
    int bottom;
    double area;
};

bool drawable_corner(const MeshVertex& v)
{
    return !std::signbit(v.w) && std::isfinite(v.w) && std::isfinite(v.light[0]) && std::isfinite(v.light[1]) &&
           std::isfinite(v.light[2]);
}

// (b - a) x (c - a) of the screen positions, exact.
int128 cross(const MeshVertex* a, const MeshVertex* b, const MeshVertex* c)
{
    return static_cast<int128>(int64_t{b->sx} - a->sx) * (int64_t{c->sy} - a->sy) -
           static_cast<int128>(int64_t{c->sx} - a->sx) * (int64_t{b->sy} - a->sy);
}

// Steps 1 to 3 of the set-up: the corners, the vertical order and the tests
// that reject a triangle.
bool shape_triangle(const MeshTriangle* triangle, const MeshVertex* vertices, const DrawWindow* window,
                    TriangleShape* shape)
{
    for (int k = 0; k < 3; ++k) {
        const MeshVertex* corner = &vertices[triangle->vertex[k]];
        if (!drawable_corner(*corner)) {
            return false;
        }
        shape->corner[k] = corner;
    }
    int top = 0;
    int bottom = 0;
    int64_t x_min = shape->corner[0]->sx;
    int64_t x_max = x_min;
    for (int k = 1; k < 3; ++k) {
        const MeshVertex* c = shape->corner[k];
        top = c->sy < shape->corner[top]->sy ? k : top;
        bottom = c->sy > shape->corner[bottom]->sy ? k : bottom;
        x_min = std::min<int64_t>(x_min, c->sx);
        x_max = std::max<int64_t>(x_max, c->sx);
    }
    const int64_t y_min = shape->corner[top]->sy;
    const int64_t y_max = shape->corner[bottom]->sy;
    if (x_max <= x_min || x_max <= 0 || (static_cast<int64_t>(window->width) << 16) <= x_min || y_max <= y_min ||
        y_max <= 0 || y_min >= (static_cast<int64_t>(window->height) << 16)) {
        return false;
    }
    // A negative area faces away; a zero area covers no pixel and has no
    // gradients. The sign is decided exactly, so that a thin triangle with far
    // corners is not turned over by rounding.
    const int128 area = cross(shape->corner[0], shape->corner[1], shape->corner[2]);
    if (area <= 0) {
        return false;
    }
    const int64_t narrow = static_cast<int64_t>(area);
    shape->area = narrow == area ? static_cast<double>(narrow) : static_cast<double>(area);
    shape->top = top;
    shape->bottom = bottom;
    shape->middle = 3 - top - bottom;
    return true;
}

// Step 5 of the set-up: the corners in vertical order and the side of the middle one.
void set_edges(const TriangleShape& shape, TriangleGradients* g)
{
    const MeshVertex* t = shape.corner[shape.top];
    const MeshVertex* m = shape.corner[shape.middle];
    const MeshVertex* b = shape.corner[shape.bottom];
    g->y_top = t->sy;
    g->y_middle = m->sy;
    g->y_bottom = b->sy;
    g->x_top = t->sx;
    g->x_middle = m->sx;
    g->x_bottom = b->sx;
    // (xB - xT)(yM - yT) > (xM - xT)(yB - yT): left of the long edge.
    g->middle_left = cross(t, m, b) < 0 ? 1 : 0;
}

// One edge stepped row by row without rounding. A row adds 65536 dx / dy,
// held as whole + remainder / height. The edge's exact x on the current row
// is X, a 16.16 value with a fraction in units of 1 / height; the stepper
// holds X - 1 / height + 1 as a whole part and a fraction of 0 to height - 1,
// so that the whole part alone is ceil(X). The whole parts stay within 2^49
// for corners anywhere in the 32-bit range.
class EdgeStepper {
public:
    // The edge from (xa, ya) down to (xb, yb), placed on `row`, which lies on
    // it: ceil(ya) <= row < ceil(yb).
    EdgeStepper(int32_t xa, int32_t ya, int32_t xb, int32_t yb, int64_t row)
        : ceil_x_(xa), height_(int64_t{yb} - ya)
    {
        if (height_ == 0) {
            return; // flat: no row lies on it
        }
        const int64_t dx = int64_t{xb} - xa;
        const double reciprocal = 1.0 / static_cast<double>(height_);
        whole_ = floor_div(dx, 65536, 0, height_, reciprocal, &remainder_);
        // X = xa + t dx / height, t = (row << 16) - ya below the corner.
        ceil_x_ += 1 + floor_div((row << 16) - ya, dx, -1, height_, reciprocal, &fraction_);
    }
    // The first column whose centre is not left of the edge.
    int64_t ceil_column() const { return (ceil_x_ + 0xFFFF) >> 16; }
    void step()
    {
        ceil_x_ += whole_;
        fraction_ += remainder_;
        const bool carry = fraction_ >= height_;
        fraction_ -= carry ? height_ : 0;
        ceil_x_ += carry ? 1 : 0;
    }

private:
    int64_t ceil_x_;
    int64_t fraction_ = 0;
    int64_t height_;
    int64_t whole_ = 0;
    int64_t remainder_ = 0;
};

// Gradients along x and y per pixel of a value given at the three corners.
struct PlaneSolver {
    double dx1, dy1, dx2, dy2, k;

    explicit PlaneSolver(const TriangleShape& shape)
    {
        const MeshVertex* v0 = shape.corner[0];
        dx1 = static_cast<double>(shape.corner[1]->sx) - v0->sx;
        dy1 = static_cast<double>(shape.corner[1]->sy) - v0->sy;
        dx2 = static_cast<double>(shape.corner[2]->sx) - v0->sx;
        dy2 = static_cast<double>(shape.corner[2]->sy) - v0->sy;
        k = 65536.0 / shape.area;
    }
    double along_x(double a0, double a1, double a2) const { return ((a1 - a0) * dy2 - (a2 - a0) * dy1) * k; }
    double along_y(double a0, double a1, double a2) const { return ((a2 - a0) * dx1 - (a1 - a0) * dx2) * k; }
};

// Calls span(row, first column, pixels) for each non-empty span of the
// triangle: rows ceil(y top) to ceil(y bottom) - 1, columns ceil(left) to
// ceil(right) - 1, clipped to the window.
template <typename SpanFn>
void walk_triangle(const TriangleGradients& g, const DrawWindow& window, SpanFn&& span)
{
    const int64_t row_first = std::max<int64_t>(0, ceil_fixed(g.y_top));
    const int64_t row_end = std::min<int64_t>(window.height, ceil_fixed(g.y_bottom));
    if (row_first >= row_end) {
        return;
    }
    const int64_t row_middle = std::clamp<int64_t>(ceil_fixed(g.y_middle), row_first, row_end);
    // The edge on the middle vertex's side changes at the middle row.
    auto lower = [&](int64_t row) { return EdgeStepper(g.x_middle, g.y_middle, g.x_bottom, g.y_bottom, row); };
    EdgeStepper long_edge(g.x_top, g.y_top, g.x_bottom, g.y_bottom, row_first);
    EdgeStepper short_edge =
        row_first < row_middle ? EdgeStepper(g.x_top, g.y_top, g.x_middle, g.y_middle, row_first) : lower(row_first);
    // Set up before the loop, so that its arithmetic overlaps the upper rows.
    const EdgeStepper below_middle = row_first < row_middle && row_middle < row_end ? lower(row_middle) : short_edge;
    for (int64_t row = row_first; row < row_end; ++row) {
        if (row == row_middle) {
            short_edge = below_middle;
        }
        const int64_t at_short = short_edge.ceil_column();
        const int64_t at_long = long_edge.ceil_column();
        const int64_t first = std::max<int64_t>(0, g.middle_left != 0 ? at_short : at_long);
        const int64_t end = std::min<int64_t>(window.width, g.middle_left != 0 ? at_long : at_short);
        if (end > first) {
            span(static_cast<int>(row), static_cast<int>(first), static_cast<int>(end - first));
        }
        short_edge.step();
        long_edge.step();
    }
}

const uint32_t* triangle_palette(const Texture* texture, const DrawWindow& window)
{
    return window.textures && texture->palette != nullptr ? texture->palette : window.palette;
}

bool drawable_texture(const Texture* texture)
{
    return texture != nullptr && texture->levels[0].texels != nullptr && texture->usize > 0 && texture->vsize > 0;
}

// Keeps a span's texel coordinate inside [0, limit]: when either end lies
// outside, both ends are clamped and the step spread between them.
void keep_inside(int64_t* first, int32_t* step, int pixels, int64_t limit)
{
    const int64_t last = *first + static_cast<int64_t>(pixels - 1) * *step;
    if (*first >= 0 && *first <= limit && last >= 0 && last <= limit) {
        return;
    }
    const int64_t a = std::clamp<int64_t>(*first, 0, limit);
    const int64_t b = std::clamp<int64_t>(last, 0, limit);
    *first = a;
    *step = pixels > 1 ? static_cast<int32_t>((b - a) / (pixels - 1)) : 0;
}

// The pixel byte that each light channel drives: red, green or blue by the
// layout, green for the fourth byte.
void light_channels(const DrawWindow& window, int channel[4])
{
    for (int k = 0; k < 4; ++k) {
        channel[k] = GRAD_GREEN;
        for (int c = 0; c < 3; ++c) {
            if (window.rgb_layout[c] == 8 * k) {
                channel[k] = GRAD_RED + c;
            }
        }
    }
}

} // namespace

int mesh_triangle_draw_inline(TriangleGradients* record, const MeshTriangle* triangle, const MeshVertex* vertices,
                              const DrawWindow* window)
{
    TriangleShape shape;
    if (!drawable_texture(triangle->texture) || !shape_triangle(triangle, vertices, window, &shape)) {
        return 0;
    }
    set_edges(shape, record);
    const PlaneSolver plane(shape);
    const MeshVertex* const* c = shape.corner;
    const double corner_values[GRAD_COUNT][3] = {
        {static_cast<double>(triangle->u[0]), static_cast<double>(triangle->u[1]), static_cast<double>(triangle->u[2])},
        {static_cast<double>(triangle->v[0]), static_cast<double>(triangle->v[1]), static_cast<double>(triangle->v[2])},
        {c[0]->w, c[1]->w, c[2]->w},
        {c[0]->light[0], c[1]->light[0], c[2]->light[0]},
        {c[0]->light[1], c[1]->light[1], c[2]->light[1]},
        {c[0]->light[2], c[1]->light[2], c[2]->light[2]},
    };
    for (int a = 0; a < GRAD_COUNT; ++a) {
        const double* v = corner_values[a];
        record->attr[a] = PlaneGradient{float_to_int_round(v[shape.top]),
                                        float_to_int_round(plane.along_x(v[0], v[1], v[2])),
                                        float_to_int_round(plane.along_y(v[0], v[1], v[2]))};
    }
    record->texture = triangle->texture;
    return 1;
}

void mesh_triangle_draw_affine(const TriangleGradients* record, const DrawWindow* window)
{
    const Texture* texture = record->texture;
    const uint32_t* palette = triangle_palette(texture, *window);
    if (!drawable_texture(texture) || palette == nullptr) {
        return;
    }
    const uint8_t* texels = texture->levels[0].texels;
    const int32_t width = texture->usize;
    const int64_t u_limit = (static_cast<int64_t>(texture->usize) << 16) - 1;
    const int64_t v_limit = (static_cast<int64_t>(texture->vsize) << 16) - 1;
    int channel[4];
    light_channels(*window, channel);
    const auto span_draw = window->mmx ? span_draw_zlit_mmx : span_draw_zlit;

    walk_triangle(*record, *window, [&](int row, int column, int pixels) {
        const int64_t dy = (static_cast<int64_t>(row) << 16) - record->y_top;
        const int64_t dx = (static_cast<int64_t>(column) << 16) - record->x_top;
        auto at = [&](const PlaneGradient& p) {
            return p.value + ((static_cast<int64_t>(p.dy) * dy) >> 16) + ((static_cast<int64_t>(p.dx) * dx) >> 16);
        };
        int64_t u = at(record->attr[GRAD_U]);
        int64_t v = at(record->attr[GRAD_V]);
        ZlitSpan span;
        span.du = record->attr[GRAD_U].dx;
        span.dv = record->attr[GRAD_V].dx;
        keep_inside(&u, &span.du, pixels, u_limit);
        keep_inside(&v, &span.dv, pixels, v_limit);
        span.texels = texels + (v >> 16) * width + (u >> 16);
        span.palette = palette;
        span.width = width;
        span.u_fraction = static_cast<uint32_t>(u) & 0xFFFF;
        span.v_fraction = static_cast<uint32_t>(v) & 0xFFFF;
        span.depth = static_cast<int32_t>(static_cast<uint32_t>(at(record->attr[GRAD_DEPTH])));
        span.depth_step = record->attr[GRAD_DEPTH].dx;
        for (int k = 0; k < 4; ++k) {
            span.light[k] = static_cast<int32_t>(static_cast<uint32_t>(at(record->attr[channel[k]])));
            span.light_step[k] = record->attr[channel[k]].dx;
        }
        span_draw(window->pixels + window->line_offset[row] + column, window->depth_rows[row] + column, pixels, span);
    });
}

void mesh_triangle_draw_persp(const MeshTriangle* triangle, const MeshVertex* vertices, const DrawWindow* window)
{
    const Texture* texture = triangle->texture;
    TriangleShape shape;
    if (!drawable_texture(texture) || !shape_triangle(triangle, vertices, window, &shape)) {
        return;
    }
    const uint32_t* palette = triangle_palette(texture, *window);
    if (palette == nullptr) {
        return;
    }
    TriangleGradients edges;
    set_edges(shape, &edges);
    const PlaneSolver plane(shape);
    const MeshVertex* const* c = shape.corner;
    const double w[3] = {c[0]->w, c[1]->w, c[2]->w};
    double uw[3];
    double vw[3];
    for (int k = 0; k < 3; ++k) {
        uw[k] = triangle->u[k] * w[k];
        vw[k] = triangle->v[k] * w[k];
    }
    struct Plane {
        double top, dx, dy;
    };
    const Plane pw{w[shape.top], plane.along_x(w[0], w[1], w[2]), plane.along_y(w[0], w[1], w[2])};
    const Plane pu{uw[shape.top], plane.along_x(uw[0], uw[1], uw[2]), plane.along_y(uw[0], uw[1], uw[2])};
    const Plane pv{vw[shape.top], plane.along_x(vw[0], vw[1], vw[2]), plane.along_y(vw[0], vw[1], vw[2])};

    walk_triangle(edges, *window, [&](int row, int column, int pixels) {
        const double dy = ((static_cast<int64_t>(row) << 16) - edges.y_top) / 65536.0;
        const double dx = ((static_cast<int64_t>(column) << 16) - edges.x_top) / 65536.0;
        const double W = pw.top + pw.dy * dy + pw.dx * dx;
        const double U = pu.top + pu.dy * dy + pu.dx * dx;
        const double V = pv.top + pv.dy * dy + pv.dx * dx;
        const double cu = pu.dx * W - pw.dx * U;
        const double cv = pv.dx * W - pw.dx * V;
        span_draw_persp8(window->pixels + window->line_offset[row] + column, window->depth_rows[row] + column, pixels,
                         texture->levels[0].texels, palette, texture->usize, texture->vsize, static_cast<float>(U),
                         static_cast<float>(V), static_cast<float>(cu), static_cast<float>(cv), static_cast<float>(W),
                         static_cast<float>(pw.dx));
    });
}
