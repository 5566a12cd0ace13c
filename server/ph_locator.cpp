#include "server/ph_locator.h"

#include <cstring>
#include <limits>

namespace {

// Four floats at once; comparisons answer -1 (all bits) or 0 a lane.
typedef float Quad __attribute__((vector_size(16)));
typedef int32_t QuadMask __attribute__((vector_size(16)));

Quad quad_of(float v) { return Quad{v, v, v, v}; }

Quad load(const float* p)
{
    Quad q;
    std::memcpy(&q, p, sizeof q);
    return q;
}

float axis_of(const Vector& v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); }

bool sphere_box_meets(const PhysicalEntity* e, const Vector& lo, const Vector& hi)
{
    const float r = e->radius;
    const Vector& c = e->position;
    return c.x - r <= hi.x && c.x + r >= lo.x && c.y - r <= hi.y && c.y + r >= lo.y && c.z - r <= hi.z &&
           c.z + r >= lo.z;
}

float distance_squared(const Vector& a, const Vector& b)
{
    const Vector d = {a.x - b.x, a.y - b.y, a.z - b.z};
    return vec_dot(d, d);
}

} // namespace

void EntityList::drop_related(const PhysicalEntity* e)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        PhysicalEntity* const o = items[i];
        if (o != e && o->number != e->owner && o->owner != e->number) {
            items[kept++] = o;
        }
    }
    count = kept;
}

namespace {

// Node i's place when the children are walked below first: the walk's order.
void rank_nodes(int32_t i, int32_t& next, int32_t* rank)
{
    rank[i] = next++;
    if (2 * i + 2 < LOCATOR_NODES) {
        rank_nodes(2 * i + 1, next, rank);
        rank_nodes(2 * i + 2, next, rank);
    }
}

// Links older than this many cannot happen in practice (2^54); the key
// keeps the node's rank above them.
constexpr int STAMP_BITS = 54;
constexpr uint64_t STAMP_MASK = (uint64_t{1} << STAMP_BITS) - 1;

} // namespace

void PhysicsLocator::build(const Vector& box_min, const Vector& box_max)
{
    int32_t next = 0;
    rank_nodes(0, next, rank_);
    empty_slots();
    // Node i has children 2i + 1 and 2i + 2; each level halves its parent's
    // box across its longest axis.
    Vector lo[LOCATOR_NODES];
    Vector hi[LOCATOR_NODES];
    lo[0] = box_min;
    hi[0] = box_max;
    for (int32_t i = 0; i < LOCATOR_NODES; ++i) {
        LocatorNode& n = nodes_[i];
        n = LocatorNode{};
        const float size[3] = {hi[i].x - lo[i].x, hi[i].y - lo[i].y, hi[i].z - lo[i].z};
        n.axis = size[1] > size[0] ? 1 : 0;
        n.axis = size[2] > size[n.axis] ? 2 : n.axis;
        n.split = (axis_of(lo[i], n.axis) + axis_of(hi[i], n.axis)) * 0.5f;
        const int32_t below = 2 * i + 1;
        if (below + 1 >= LOCATOR_NODES) {
            continue;
        }
        n.children[0] = &nodes_[below];
        n.children[1] = &nodes_[below + 1];
        lo[below] = lo[i];
        hi[below] = hi[i];
        lo[below + 1] = lo[i];
        hi[below + 1] = hi[i];
        float* const cut_hi = n.axis == 0 ? &hi[below].x : (n.axis == 1 ? &hi[below].y : &hi[below].z);
        float* const cut_lo = n.axis == 0 ? &lo[below + 1].x : (n.axis == 1 ? &lo[below + 1].y : &lo[below + 1].z);
        *cut_hi = n.split;
        *cut_lo = n.split;
    }
}

void PhysicsLocator::clear()
{
    for (LocatorNode& n : nodes_) {
        n.entities = nullptr;
    }
    for (int32_t i = 0; i < count_; ++i) {
        slots_[i]->slot = -1;
    }
    empty_slots();
}

void PhysicsLocator::empty_slots()
{
    count_ = 0;
    unslotted_ = 0;
    for (int a = 0; a < 3; ++a) {
        for (int32_t i = 0; i < PHYS_ENTITIES; ++i) {
            minus_[a][i] = plus_[a][i] = std::numeric_limits<float>::quiet_NaN();
        }
    }
}

void PhysicsLocator::add_slot(PhysicalEntity* e, int32_t rank)
{
    // One slot per entity of a physics world, so a full table means a caller
    // linked more records than a world holds: those are left to the walk.
    if (count_ == PHYS_ENTITIES) {
        ++unslotted_;
        return;
    }
    const int32_t i = count_++;
    const float r = e->radius;
    minus_[0][i] = e->position.x - r;
    minus_[1][i] = e->position.y - r;
    minus_[2][i] = e->position.z - r;
    plus_[0][i] = e->position.x + r;
    plus_[1][i] = e->position.y + r;
    plus_[2][i] = e->position.z + r;
    order_[i] = (static_cast<uint64_t>(rank) << STAMP_BITS) | (STAMP_MASK - (++links_ & STAMP_MASK));
    slots_[i] = e;
    e->slot = i;
}

void PhysicsLocator::drop_slot(PhysicalEntity* e)
{
    const int32_t i = e->slot;
    if (i < 0) {
        --unslotted_;
        return;
    }
    const int32_t last = --count_;
    for (int a = 0; a < 3; ++a) {
        minus_[a][i] = minus_[a][last];
        plus_[a][i] = plus_[a][last];
        minus_[a][last] = plus_[a][last] = std::numeric_limits<float>::quiet_NaN();
    }
    order_[i] = order_[last];
    slots_[i] = slots_[last];
    slots_[i]->slot = i;
    e->slot = -1;
}

void PhysicsLocator::link(PhysicalEntity* e)
{
    unlink(e);
    LocatorNode* n = &nodes_[0];
    for (;;) {
        if (n->children[0] == nullptr) {
            break;
        }
        const float c = axis_of(e->position, n->axis);
        if (c + e->radius < n->split) {
            n = n->children[0];
        } else if (c - e->radius > n->split) {
            n = n->children[1];
        } else {
            break;
        }
    }
    add_slot(e, rank_[n - nodes_]);
    e->node = n;
    e->next = n->entities;
    e->prev_link = &n->entities;
    if (n->entities != nullptr) {
        n->entities->prev_link = &e->next;
    }
    n->entities = e;
}

void PhysicsLocator::unlink(PhysicalEntity* e)
{
    if (e->node == nullptr) {
        return;
    }
    drop_slot(e);
    *e->prev_link = e->next;
    if (e->next != nullptr) {
        e->next->prev_link = e->prev_link;
    }
    e->next = nullptr;
    e->prev_link = nullptr;
    e->node = nullptr;
}

template <typename Visit>
void PhysicsLocator::query(const float (&lo)[3], const float (&hi)[3], const Visit& visit) const
{
    // Depth LOCATOR_DEPTH at most: a stack of one entry a level and one more.
    const LocatorNode* pending[2 * (LOCATOR_DEPTH + 1)];
    int top = 0;
    pending[top++] = &nodes_[0];
    while (top > 0) {
        const LocatorNode* const n = pending[--top];
        for (PhysicalEntity* e = n->entities; e != nullptr; e = e->next) {
            visit(e);
        }
        if (n->children[0] == nullptr) {
            continue;
        }
        if (hi[n->axis] > n->split) {
            pending[top++] = n->children[1];
        }
        if (lo[n->axis] < n->split) {
            pending[top++] = n->children[0];
        }
    }
}

void PhysicsLocator::at_point(const Vector& p, EntityList& out) const
{
    const float at[3] = {p.x, p.y, p.z};
    query(at, at, [&](PhysicalEntity* e) {
        if (distance_squared(e->position, p) <= e->radius * e->radius) {
            out.add(e);
        }
    });
}

void PhysicsLocator::in_box(const Vector& lo, const Vector& hi, EntityList& out) const
{
    const float l[3] = {lo.x, lo.y, lo.z};
    const float h[3] = {hi.x, hi.y, hi.z};
    query(l, h, [&](PhysicalEntity* e) {
        if (sphere_box_meets(e, lo, hi)) {
            out.add(e);
        }
    });
}

void PhysicsLocator::moving_in_box(const Vector& lo, const Vector& hi, float r, EntityList& out) const
{
    candidates_in_box(lo, hi, r, nullptr, false, &out, false);
}

void PhysicsLocator::volumes_in_box(const Vector& lo, const Vector& hi, float r, EntityList& out) const
{
    candidates_in_box(lo, hi, r, &out, false, nullptr, false);
}

void PhysicsLocator::within(const Vector& centre, float radius, EntityList& out) const
{
    const float l[3] = {centre.x - radius, centre.y - radius, centre.z - radius};
    const float h[3] = {centre.x + radius, centre.y + radius, centre.z + radius};
    query(l, h, [&](PhysicalEntity* e) {
        if (distance_squared(e->position, centre) <= radius * radius) {
            out.add(e);
        }
    });
}

void PhysicsLocator::candidates_in_box(const Vector& lo, const Vector& hi, float r, EntityList* volumes,
                                       bool all_volumes, EntityList* moving, bool all_moving) const
{
    const auto take = [&](PhysicalEntity* e) {
        if (volumes != nullptr &&
            (all_volumes || (e->volume != nullptr && (e->motion == nullptr || e->radius >= r)))) {
            volumes->add(e);
        }
        if (moving != nullptr && (all_moving || (e->motion != nullptr && (e->volume == nullptr || e->radius <= r)))) {
            moving->add(e);
        }
    };
    if (unslotted_ > 0) {
        const float l[3] = {lo.x, lo.y, lo.z};
        const float h[3] = {hi.x, hi.y, hi.z};
        query(l, h, [&](PhysicalEntity* e) {
            if (sphere_box_meets(e, lo, hi)) {
                take(e);
            }
        });
        return;
    }
    // Every sphere box that meets the query box lies in a node the walk
    // reaches, so the scan finds the walk's entities; sorted by the walk's
    // order, they come out as the walk gives them.
    struct Found {
        uint64_t order;
        int32_t slot;
    };
    Found found[PHYS_ENTITIES];
    int32_t count = 0;
    const Quad qlo[3] = {quad_of(lo.x), quad_of(lo.y), quad_of(lo.z)};
    const Quad qhi[3] = {quad_of(hi.x), quad_of(hi.y), quad_of(hi.z)};
    for (int32_t base = 0; base < count_; base += 4) {
        const QuadMask meets = (load(&minus_[0][base]) <= qhi[0]) & (load(&plus_[0][base]) >= qlo[0]) &
                               (load(&minus_[1][base]) <= qhi[1]) & (load(&plus_[1][base]) >= qlo[1]) &
                               (load(&minus_[2][base]) <= qhi[2]) & (load(&plus_[2][base]) >= qlo[2]);
        if ((meets[0] | meets[1] | meets[2] | meets[3]) == 0) {
            continue;
        }
        for (int32_t lane = 0; lane < 4; ++lane) {
            if (meets[lane] == 0) {
                continue;
            }
            const Found f = {order_[base + lane], base + lane};
            int32_t at = count++;
            for (; at > 0 && found[at - 1].order > f.order; --at) {
                found[at] = found[at - 1];
            }
            found[at] = f;
        }
    }
    for (int32_t k = 0; k < count; ++k) {
        take(slots_[found[k].slot]);
    }
}
