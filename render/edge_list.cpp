#include "render/edge_list.h"

#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/print.h"
#include "world/view/screen_edge.h"

#include <algorithm>
#include <new>

namespace {

int cache_key(const int32_t* a, const int32_t* b)
{
    return ((a[0] >> 10) ^ (a[1] >> 8) ^ (b[0] >> 8) ^ (b[1] >> 10)) & 0xFF;
}

int64_t depth_at(const DepthPlane& p, int32_t x, int32_t y) { return p.c0 + p.cx * x + p.cy * y; }

int32_t clamp_pixel(int64_t x, int32_t width) { return static_cast<int32_t>(std::clamp<int64_t>(x, 0, width)); }

} // namespace

int EdgeList::init(int32_t w, int32_t max_lines)
{
    free();
    edges_ = new (std::nothrow) Edge[EDGE_LIST_MAX_EDGES];
    surfaces_ = new (std::nothrow) Surface[EDGE_LIST_MAX_SURFACES];
    spans_ = new (std::nothrow) Span[EDGE_LIST_MAX_SPANS];
    line_heads_ = new (std::nothrow) Edge*[static_cast<size_t>(max_lines)];
    if (edges_ == nullptr || surfaces_ == nullptr || spans_ == nullptr || line_heads_ == nullptr) {
        free();
        return 0;
    }
    max_height = max_lines;
    set_resolution(w, max_lines);
    reset();
    return 1;
}

void EdgeList::free()
{
    delete[] edges_;
    edges_ = nullptr;
    delete[] surfaces_;
    surfaces_ = nullptr;
    delete[] spans_;
    spans_ = nullptr;
    delete[] line_heads_;
    line_heads_ = nullptr;
    max_height = 0;
    height = 0;
}

void EdgeList::set_resolution(int32_t w, int32_t h)
{
    K_ASSERT(h <= max_height);
    width = w;
    height = h;
}

void EdgeList::reset()
{
    active_edges = 0;
    active_surfaces = 0;
    active_spans = 0;
    dropped_polygons = 0;
    dropped_spans = 0;
    unbalanced_lines = 0;
    drop_reported_ = false;
    frame = static_cast<int32_t>(static_cast<uint32_t>(frame) + 1);
    for (int32_t y = 0; y < height; ++y) {
        line_heads_[y] = nullptr;
    }
}

void EdgeList::report_drop()
{
    if (!drop_reported_) {
        drop_reported_ = true;
        print_format(2, "EdgeList: frame too full, dropping polygons or spans\n");
    }
}

Surface* EdgeList::add_surface(const PolygonRef& ref, const int32_t* points, int32_t count, float mean_depth)
{
    // A polygon is taken whole or not at all: a surface with some of its
    // edges missing would never leave the stack.
    if (active_surfaces >= EDGE_LIST_MAX_SURFACES || active_edges + count > EDGE_LIST_MAX_EDGES) {
        ++dropped_polygons;
        report_drop();
        return nullptr;
    }
    Surface* s = &surfaces_[active_surfaces++];
    const bool transparent = ref.polygon != nullptr && ref.polygon->face != nullptr &&
                             (ref.polygon->face->flags & FACE_TRANSPARENT) != 0;
    *s = Surface{};
    s->flags = transparent ? SURFACE_TRANSPARENT | SURFACE_TRANSPARENT_FACE : 0;
    s->ref = ref;
    s->ref.mean_depth = mean_depth;
    for (int32_t i = 0; i < count; ++i) {
        add_edge(&points[2 * (i == 0 ? count - 1 : i - 1)], &points[2 * i], s);
    }
    return s;
}

void EdgeList::add_edge(const int32_t* a, const int32_t* b, Surface* s)
{
    const bool down = a[1] < b[1];
    const int32_t* top = down ? a : b;
    const int32_t* bottom = down ? b : a;
    const int64_t first = std::max<int64_t>(ceil_line(top[1]), 0);
    const int64_t end = std::min<int64_t>(ceil_line(bottom[1]), height);
    if (first >= end) {
        return;
    }
    const int key = down ? cache_key(a, b) : cache_key(b, a);
    EdgeCacheEntry& other = (down ? up_cache_ : down_cache_)[key];
    if (other.stamp == frame && other.x0 == b[0] && other.y0 == b[1] && other.x1 == a[0] && other.y1 == a[1]) {
        (down ? other.edge->closes : other.edge->opens) = s;
        other.stamp = -1;
        return;
    }
    if (active_edges >= EDGE_LIST_MAX_EDGES) {
        return; // add_surface made room; kept for direct callers
    }
    Edge* e = &edges_[active_edges++];
    *e = Edge{down ? s : nullptr, down ? nullptr : s, ScreenEdge{}, static_cast<int32_t>(end - 1), nullptr, nullptr,
              nullptr};
    e->step.place(top[0], top[1], bottom[0], bottom[1], first);
    (down ? down_cache_ : up_cache_)[key] = EdgeCacheEntry{a[0], a[1], b[0], b[1], e, frame};
    Edge** link = &line_heads_[first];
    while (*link != nullptr && (*link)->step.x() < e->step.x()) {
        link = &(*link)->next_in_line;
    }
    e->next_in_line = *link;
    *link = e;
}

int EdgeList::compare_depth(const Surface* a, const Surface* b, int32_t x, int32_t y)
{
    if (a->ref.order_key >= 0 && b->ref.order_key >= 0) {
        return a->ref.order_key - b->ref.order_key;
    }
    const int64_t d = depth_at(a->ref.depth, x, y) - depth_at(b->ref.depth, x, y);
    if (d > EDGE_DEPTH_TIE) {
        return 1;
    }
    if (d < -EDGE_DEPTH_TIE) {
        return -1;
    }
    const int64_t slope = a->ref.depth.cx - b->ref.depth.cx;
    return slope > 0 ? 1 : (slope < 0 ? -1 : 0);
}

void EdgeList::emit_span(Surface* s, int32_t x, int32_t y)
{
    const int32_t x0 = clamp_pixel(s->visible_x, width);
    const int32_t x1 = clamp_pixel(x, width);
    if (x1 <= x0) {
        return;
    }
    if (active_spans >= EDGE_LIST_MAX_SPANS) {
        ++dropped_spans;
        report_drop();
        return;
    }
    Span* span = &spans_[active_spans++];
    *span = Span{x0, y, x1 - x0, s->spans};
    s->spans = span;
}

void EdgeList::make_visible(Surface* s, int32_t x)
{
    s->flags |= SURFACE_VISIBLE;
    s->visible_x = x;
}

// Surfaces below an opaque s that was just put on top lose their visibility.
void EdgeList::hide_below(Surface* s, int32_t x, int32_t y)
{
    for (Surface* t = s->next; t != &tail_ && (t->flags & SURFACE_VISIBLE) != 0; t = t->next) {
        emit_span(t, x, y);
        t->flags &= ~SURFACE_VISIBLE;
    }
}

void EdgeList::enter_surface(Surface* s, int32_t x, int32_t y)
{
    if (++s->inside != 1) {
        // Zero: it left before it entered on this line, which cancels out.
        // Above one: a polygon that crosses itself, on the stack already.
        if (s->inside == 0) {
            s->flags &= ~SURFACE_INVALID;
        }
        return;
    }
    Surface* t = head_.next;
    while (t != &tail_ && compare_depth(s, t, x, y) <= 0) {
        t = t->next;
    }
    s->next = t;
    s->back = t->back;
    t->back->next = s;
    t->back = s;
    s->flags |= SURFACE_IN_LIST;
    const Surface* above = s->back;
    const bool seen = above == &head_ ||
                      ((above->flags & SURFACE_VISIBLE) != 0 && (above->flags & SURFACE_TRANSPARENT) != 0);
    if (!seen) {
        return;
    }
    make_visible(s, x);
    if ((s->flags & SURFACE_TRANSPARENT) == 0) {
        hide_below(s, x, y);
    }
}

void EdgeList::leave_surface(Surface* s, int32_t x, int32_t y)
{
    if (--s->inside != 0) {
        if (s->inside < 0) {
            s->flags |= SURFACE_INVALID;
        }
        return;
    }
    const bool was_seen = (s->flags & SURFACE_VISIBLE) != 0;
    if (was_seen) {
        emit_span(s, x, y);
    }
    Surface* below = s->next;
    s->back->next = s->next;
    s->next->back = s->back;
    s->flags &= ~(SURFACE_IN_LIST | SURFACE_VISIBLE);
    if (!was_seen || (s->flags & SURFACE_TRANSPARENT) != 0) {
        return;
    }
    for (Surface* t = below; t != &tail_; t = t->next) {
        make_visible(t, x);
        if ((t->flags & SURFACE_TRANSPARENT) == 0) {
            break;
        }
    }
}

void EdgeList::switch_surface(Surface* old_s, Surface* new_s, int32_t x, int32_t y)
{
    leave_surface(old_s, x, y);
    enter_surface(new_s, x, y);
}

void EdgeList::finish_line(int32_t y)
{
    if (head_.next == &tail_) {
        return;
    }
    // Cannot happen with whole polygons; a surface left over would corrupt
    // every later line, so it is taken off here.
    ++unbalanced_lines;
    while (head_.next != &tail_) {
        Surface* s = head_.next;
        if ((s->flags & SURFACE_VISIBLE) != 0) {
            emit_span(s, width, y);
        }
        head_.next = s->next;
        s->next->back = &head_;
        s->flags &= ~(SURFACE_IN_LIST | SURFACE_VISIBLE);
        s->inside = 0;
    }
}

void EdgeList::scan()
{
    head_ = Surface{};
    tail_ = Surface{};
    head_.next = &tail_;
    tail_.back = &head_;
    // The tail is opaque and never visible: nothing below it.
    active_head_ = Edge{};
    active_tail_ = Edge{};
    active_head_.next = &active_tail_;
    active_tail_.prev = &active_head_;
    for (int32_t i = 0; i < active_surfaces; ++i) {
        surfaces_[i].inside = 0;
        surfaces_[i].flags &= ~(SURFACE_IN_LIST | SURFACE_VISIBLE | SURFACE_INVALID);
    }
    for (int32_t y = 0; y < height; ++y) {
        // Merge the line's new edges, both lists in x order.
        Edge* at = active_head_.next;
        for (Edge* e = line_heads_[y]; e != nullptr;) {
            Edge* following = e->next_in_line;
            while (at != &active_tail_ && at->step.x() < e->step.x()) {
                at = at->next;
            }
            e->next = at;
            e->prev = at->prev;
            at->prev->next = e;
            at->prev = e;
            e = following;
        }
        for (Edge* e = active_head_.next; e != &active_tail_; e = e->next) {
            const int32_t x = static_cast<int32_t>(std::clamp<int64_t>(e->step.pixel(), -1, int64_t{width} + 1));
            if (e->closes != nullptr && e->opens != nullptr) {
                switch_surface(e->closes, e->opens, x, y);
            } else if (e->opens != nullptr) {
                enter_surface(e->opens, x, y);
            } else if (e->closes != nullptr) {
                leave_surface(e->closes, x, y);
            }
        }
        finish_line(y);
        // Drop finished edges, step the others, and keep the list in x order.
        for (Edge* e = active_head_.next; e != &active_tail_;) {
            Edge* following = e->next;
            if (e->last_line <= y) {
                e->prev->next = e->next;
                e->next->prev = e->prev;
            } else {
                e->step.advance();
                Edge* before = e->prev;
                while (before != &active_head_ && before->step.x() > e->step.x()) {
                    before = before->prev;
                }
                if (before != e->prev) {
                    e->prev->next = e->next;
                    e->next->prev = e->prev;
                    e->next = before->next;
                    e->prev = before;
                    before->next->prev = e;
                    before->next = e;
                }
            }
            e = following;
        }
    }
}

void EdgeList::print_stats() const
{
    print_tagged(four_cc("RnCy"), "EdgeList: %d surfaces, %d edges, %d spans", active_surfaces, active_edges,
                 active_spans);
}
