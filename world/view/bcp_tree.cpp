#include "world/view/bcp_tree.h"

#include "core/kassert.h"

#include <cmath>
#include <new>

namespace {

enum Side { SIDE_ON = 0, SIDE_FRONT = 1, SIDE_BACK = 2 };

Side side_of(float d)
{
    if (!std::signbit(d - BCP_DIST_EPSILON)) {
        return SIDE_FRONT;
    }
    if (std::signbit(d + BCP_DIST_EPSILON)) {
        return SIDE_BACK;
    }
    return SIDE_ON;
}

bool in_band(float d) { return side_of(d) == SIDE_ON; }

Vector edge_normal(const Vector& from, const Vector& to)
{
    Vector e = to;
    vec_sub(e, from);
    Vector n;
    vec_cross(e, to, n);
    vec_normalize(n);
    return n;
}

Vector cut_point(const Vector& a, const Vector& b, float da, float db)
{
    const float t = da / (da - db);
    return Vector{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

// The piece on one side of a plane, Sutherland-Hodgman with an epsilon band:
// vertices in the band belong to both pieces. The edge that arrives along the
// cut is inactive. Returns the vertex count, or -1 when it would not fit.
int32_t clip_piece(const BcpEdge* in, const float* d, const Side* side, int32_t n, Side keep, BcpEdge* out)
{
    const Side drop = keep == SIDE_FRONT ? SIDE_BACK : SIDE_FRONT;
    int32_t m = 0;
    const auto emit = [&](const Vector& v, uint32_t active) {
        if (m < BCP_MAX_EDGES) {
            out[m] = BcpEdge{v, active};
        }
        ++m;
    };
    for (int32_t i = 0; i < n; ++i) {
        const int32_t p = i == 0 ? n - 1 : i - 1;
        const bool p_kept = side[p] != drop;
        const bool c_kept = side[i] != drop;
        if (p_kept && c_kept) {
            emit(in[i].vertex, in[i].active);
        } else if (p_kept) {
            if (side[p] == keep) {
                emit(cut_point(in[p].vertex, in[i].vertex, d[p], d[i]), in[i].active);
            }
        } else if (c_kept) {
            if (side[i] == keep) {
                emit(cut_point(in[p].vertex, in[i].vertex, d[p], d[i]), 0);
                emit(in[i].vertex, in[i].active);
            } else {
                emit(in[i].vertex, 0);
            }
        }
    }
    return m <= BCP_MAX_EDGES ? m : -1;
}

} // namespace

int BcpTree::alloc(int32_t n)
{
    free();
    nodes_ = new (std::nothrow) BcpNode[static_cast<size_t>(n)];
    edges_ = new (std::nothrow) BcpEdge[BCP_EDGE_RECORDS];
    if (nodes_ == nullptr || edges_ == nullptr) {
        free();
        return 0;
    }
    capacity_ = n;
    return 1;
}

void BcpTree::free()
{
    delete[] nodes_;
    nodes_ = nullptr;
    delete[] edges_;
    edges_ = nullptr;
    capacity_ = 0;
    free_list_ = nullptr;
    free_count_ = 0;
    root_ = nullptr;
    entry_ = nullptr;
}

BcpNode* BcpTree::take_node(int32_t type)
{
    BcpNode* node = free_list_;
    if (node == nullptr) {
        return nullptr;
    }
    free_list_ = node->front;
    --free_count_;
    node->type = type;
    node->front = nullptr;
    node->back = nullptr;
    return node;
}

void BcpTree::release_node(BcpNode* node)
{
    node->type = BCP_NODE_FREE;
    node->back = nullptr;
    node->front = free_list_;
    free_list_ = node;
    ++free_count_;
}

void BcpTree::reset(const Vector& eye, const Plane* planes, int32_t count)
{
    K_ASSERT(nodes_ != nullptr);
    eye_ = eye;
    free_list_ = nullptr;
    free_count_ = 0;
    for (int32_t i = capacity_ - 1; i >= 0; --i) {
        release_node(&nodes_[i]);
    }
    unrecorded_ = 0;
    entry_ = take_node(BCP_NODE_EMPTY);
    K_ASSERT(entry_ != nullptr);
    side_count_ = count;
    BcpNode* previous = entry_;
    for (int32_t i = 0; i < count; ++i) {
        BcpNode* solid = take_node(BCP_NODE_SOLID);
        BcpNode* split = take_node(BCP_NODE_SPLIT);
        K_ASSERT(solid != nullptr && split != nullptr);
        split->normal = planes[i].normal;
        split->front = previous;
        split->back = solid;
        previous = split;
    }
    root_ = previous;
}

int BcpTree::insert_polygon(const Vector* const* vertices, int32_t count, int must_clip)
{
    if (covered()) {
        return 0;
    }
    if (count > BCP_MAX_EDGES) {
        ++unrecorded_;
        return 1;
    }
    for (int32_t i = 0; i < count; ++i) {
        Vector v = *vertices[i];
        vec_sub(v, eye_);
        edges_[i] = BcpEdge{v, 1};
    }
    return insert_edges(count, must_clip);
}

int BcpTree::insert_polygon(const Vector* vertices, int32_t count, int must_clip)
{
    const Vector* pointers[BCP_MAX_EDGES];
    if (count > BCP_MAX_EDGES) {
        ++unrecorded_;
        return covered() ? 0 : 1;
    }
    for (int32_t i = 0; i < count; ++i) {
        pointers[i] = &vertices[i];
    }
    return insert_polygon(pointers, count, must_clip);
}

int BcpTree::insert_edges(int32_t count, int must_clip)
{
    if (count < 3) {
        return 0;
    }
    // Seen from the eye the polygon must wind clockwise: its turns point away
    // from the eye. One wound the other way is not seen, and records nothing:
    // its edge planes would cover what lies outside it.
    double n[3] = {0.0, 0.0, 0.0};
    double c[3] = {0.0, 0.0, 0.0};
    for (int32_t i = 0; i < count; ++i) {
        const Vector& a = edges_[i].vertex;
        const Vector& b = edges_[i + 1 < count ? i + 1 : 0].vertex;
        n[0] += double{a.y} * b.z - double{a.z} * b.y;
        n[1] += double{a.z} * b.x - double{a.x} * b.z;
        n[2] += double{a.x} * b.y - double{a.y} * b.x;
        c[0] += a.x;
        c[1] += a.y;
        c[2] += a.z;
    }
    if (!(n[0] * c[0] + n[1] * c[1] + n[2] * c[2] > 0.0)) {
        return 0;
    }
    const int r = must_clip != 0 ? split(root_, edges_, count, 1) : split(entry_, edges_, count, side_count_);
    // Every direction inside the view is covered: say so at the root.
    if (entry_->type == BCP_NODE_SOLID) {
        make_solid(root_);
    }
    return r;
}

void BcpTree::free_subtree(BcpNode* node)
{
    // Chains run through the back children: those are walked, not recursed.
    while (node != nullptr) {
        BcpNode* front = node->type == BCP_NODE_SPLIT ? node->front : nullptr;
        BcpNode* back = node->type == BCP_NODE_SPLIT ? node->back : nullptr;
        release_node(node);
        if (front != nullptr) {
            free_subtree(front);
        }
        node = back;
    }
}

void BcpTree::make_solid(BcpNode* node)
{
    if (node->type == BCP_NODE_SPLIT) {
        free_subtree(node->front);
        free_subtree(node->back);
    }
    node->type = BCP_NODE_SOLID;
    node->front = nullptr;
    node->back = nullptr;
}

int BcpTree::split_leaf(BcpNode* node, BcpEdge* edges, int32_t count)
{
    Vector normals[BCP_MAX_EDGES];
    int32_t planes = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (edges[i].active == 0) {
            continue;
        }
        const Vector& from = edges[i == 0 ? count - 1 : i - 1].vertex;
        const Vector& to = edges[i].vertex;
        const Vector n = edge_normal(from, to);
        if (vec_dot(n, n) == 0.0f || std::signbit(vec_dot(n, from) + BCP_DIST_EPSILON) ||
            std::signbit(vec_dot(n, to) + BCP_DIST_EPSILON)) {
            continue; // no plane: the edge has no length or lies along the view ray
        }
        if (planes == 0) {
            bool edge_on = true;
            for (int32_t k = 0; k < count && edge_on; ++k) {
                edge_on = in_band(vec_dot(n, edges[k].vertex));
            }
            if (edge_on) {
                return 0;
            }
        }
        normals[planes++] = n;
        for (int32_t j = i + 1; j < count; ++j) {
            if (edges[j].active != 0 && in_band(vec_dot(n, edges[j - 1].vertex)) &&
                in_band(vec_dot(n, edges[j].vertex))) {
                edges[j].active = 0;
            }
        }
    }
    if (planes == 0) {
        return 0;
    }
    if (free_count_ < 2 * planes) {
        ++unrecorded_;
        return 1;
    }
    BcpNode* at = node;
    for (int32_t k = 0; k < planes; ++k) {
        at->type = BCP_NODE_SPLIT;
        at->normal = normals[k];
        at->front = take_node(BCP_NODE_EMPTY);
        at->back = take_node(k + 1 < planes ? BCP_NODE_EMPTY : BCP_NODE_SOLID);
        at = at->back;
    }
    return 1;
}

int BcpTree::split(BcpNode* node, BcpEdge* edges, int32_t count, int32_t depth)
{
    if (node->type == BCP_NODE_SOLID) {
        return 0;
    }
    bool any_active = false;
    for (int32_t i = 0; i < count && !any_active; ++i) {
        any_active = edges[i].active != 0;
    }
    if (!any_active) {
        make_solid(node);
        return 1;
    }
    if (depth > BCP_MAX_DEPTH) {
        ++unrecorded_;
        return 1;
    }
    if (node->type == BCP_NODE_EMPTY) {
        return split_leaf(node, edges, count);
    }
    K_ASSERT(node->type == BCP_NODE_SPLIT);
    if (count >= BCP_MAX_EDGES) {
        ++unrecorded_;
        return 1;
    }
    float d[BCP_MAX_EDGES];
    Side side[BCP_MAX_EDGES];
    bool front = false;
    bool back = false;
    for (int32_t i = 0; i < count; ++i) {
        d[i] = vec_dot(node->normal, edges[i].vertex);
        side[i] = side_of(d[i]);
        front = front || side[i] == SIDE_FRONT;
        back = back || side[i] == SIDE_BACK;
    }
    if (!front && !back) {
        // Every vertex in the plane: seen edge-on, the piece covers nothing.
        // Sent on with its edges cleared, it would make a whole region solid.
        return 0;
    }
    BcpEdge* slot = edges_ + static_cast<size_t>(depth) * 2 * BCP_MAX_EDGES;
    if (!front) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t p = i == 0 ? count - 1 : i - 1;
            const bool beyond = side[p] == SIDE_BACK || side[i] == SIDE_BACK;
            slot[i] = BcpEdge{edges[i].vertex, edges[i].active != 0 && beyond ? 1u : 0u};
        }
        return split(node->back, slot, count, depth + 1);
    }
    if (!back) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t p = i == 0 ? count - 1 : i - 1;
            const bool on_plane = side[p] == SIDE_ON && side[i] == SIDE_ON;
            slot[i] = BcpEdge{edges[i].vertex, edges[i].active != 0 && !on_plane ? 1u : 0u};
        }
        return split(node->front, slot, count, depth + 1);
    }
    BcpEdge* front_piece = slot;
    BcpEdge* back_piece = slot + BCP_MAX_EDGES;
    const int32_t nf = clip_piece(edges, d, side, count, SIDE_FRONT, front_piece);
    const int32_t nb = clip_piece(edges, d, side, count, SIDE_BACK, back_piece);
    int r = 0;
    if (nf < 0 || nb < 0) {
        ++unrecorded_;
        return 1;
    }
    // The front piece first: its recursion may overwrite nothing of the back
    // piece, which lives in this depth's slot.
    if (nf >= 3) {
        r |= split(node->front, front_piece, nf, depth + 1);
    }
    if (nb >= 3) {
        r |= split(node->back, back_piece, nb, depth + 1);
    }
    return r;
}
