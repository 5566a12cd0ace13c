#include "server/ph_locator.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <limits>

namespace {

// Four floats at once; comparisons answer -1 (all bits) or 0 a lane.
typedef float Quad __attribute__((vector_size(16)));
typedef int32_t QuadMask __attribute__((vector_size(16)));

Quad quad_of(float v) { return Quad{v, v, v, v}; }

// One bit a lane that is set.
uint32_t lanes_of(QuadMask m)
{
#if defined(__SSE2__)
    return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(reinterpret_cast<__m128i>(m))));
#else
    return (m[0] != 0 ? 1u : 0u) | (m[1] != 0 ? 2u : 0u) | (m[2] != 0 ? 4u : 0u) | (m[3] != 0 ? 8u : 0u);
#endif
}

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
        if (!related(o, e)) {
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
    for (int32_t& b : begin_) {
        b = 0;
    }
    for (int a = 0; a < 3; ++a) {
        for (float& v : minus_[a]) {
            v = std::numeric_limits<float>::quiet_NaN();
        }
        for (float& v : plus_[a]) {
            v = std::numeric_limits<float>::quiet_NaN();
        }
    }
    widened_ = true;
    widest_ = PHYS_ENTITIES - 1;
    tighten();
}

void PhysicsLocator::tighten()
{
    // An empty run's box is inside out (minus +inf, plus -inf): it meets
    // nothing. A NaN slot is passed over by the comparisons. Runs past the
    // last slot in use stay as they are: they were emptied when the slots
    // emptied, or widened by nothing since.
    if (!widened_) {
        return;
    }
    widened_ = false;
    const int32_t groups = (widest_ + GROUP) / GROUP;
    widest_ = count_ - 1;
    for (int a = 0; a < 3; ++a) {
        for (int32_t g = 0; g < groups; ++g) {
            float lo = std::numeric_limits<float>::infinity();
            float hi = -lo;
            for (int32_t k = g * GROUP; k < (g + 1) * GROUP; ++k) {
                lo = minus_[a][k] < lo ? minus_[a][k] : lo;
                hi = plus_[a][k] > hi ? plus_[a][k] : hi;
            }
            group_minus_[a][g] = lo;
            group_plus_[a][g] = hi;
        }
    }
}

void PhysicsLocator::widen_group(int32_t slot)
{
    const int32_t g = slot / GROUP;
    widened_ = true;
    widest_ = slot > widest_ ? slot : widest_;
    for (int a = 0; a < 3; ++a) {
        group_minus_[a][g] = minus_[a][slot] < group_minus_[a][g] ? minus_[a][slot] : group_minus_[a][g];
        group_plus_[a][g] = plus_[a][slot] > group_plus_[a][g] ? plus_[a][slot] : group_plus_[a][g];
    }
}

void PhysicsLocator::shift(int32_t from, int32_t to, int32_t n)
{
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    for (int a = 0; a < 3; ++a) {
        std::memmove(&minus_[a][to], &minus_[a][from], bytes);
        std::memmove(&plus_[a][to], &plus_[a][from], bytes);
    }
    std::memmove(&slots_[to], &slots_[from], sizeof(PhysicalEntity*) * static_cast<size_t>(n));
    for (int32_t i = to; i < to + n; ++i) {
        slots_[i]->slot = i;
    }
    // A slot that moved into another run widens that run's box.
    const int32_t edge = to > from ? 0 : GROUP - 1;
    for (int32_t i = (to + GROUP - 1 - edge) / GROUP * GROUP + edge; i < to + n; i += GROUP) {
        widen_group(i);
    }
}

void PhysicsLocator::put(PhysicalEntity* e, int32_t i)
{
    const float r = e->radius;
    minus_[0][i] = e->position.x - r;
    minus_[1][i] = e->position.y - r;
    minus_[2][i] = e->position.z - r;
    plus_[0][i] = e->position.x + r;
    plus_[1][i] = e->position.y + r;
    plus_[2][i] = e->position.z + r;
    slots_[i] = e;
    e->slot = i;
    widen_group(i);
}

void PhysicsLocator::add_slot(PhysicalEntity* e, int32_t from, int32_t to)
{
    // The node's list takes a linked entity first: so does its run of slots.
    // An entity that had a slot moves there past the runs between; ranks
    // past the lower of the two runs begin one later, those past the higher
    // one earlier.
    int32_t i = e->slot;
    if (i < 0) {
        if (from != LOCATOR_NODES) {
            --unslotted_; // linked before without a slot
        }
        // One slot per entity of a physics world, so a full table means a
        // caller linked more records than a world holds: the lists serve.
        if (count_ == PHYS_ENTITIES) {
            ++unslotted_;
            return;
        }
        i = count_++;
        from = LOCATOR_NODES;
    }
    if (to <= from) {
        const int32_t at = begin_[to];
        shift(at, at + 1, i - at);
        for (int32_t k = to + 1; k <= from; ++k) {
            ++begin_[k];
        }
        put(e, at);
    } else {
        const int32_t at = begin_[to] - 1;
        shift(i + 1, i, at - i);
        for (int32_t k = from + 1; k <= to; ++k) {
            --begin_[k];
        }
        put(e, at);
    }
}

void PhysicsLocator::drop_slot(PhysicalEntity* e, int32_t rank)
{
    const int32_t i = e->slot;
    if (i < 0) {
        --unslotted_;
        return;
    }
    const int32_t last = --count_;
    shift(i + 1, i, last - i);
    for (int32_t k = rank + 1; k <= LOCATOR_NODES; ++k) {
        --begin_[k];
    }
    for (int a = 0; a < 3; ++a) {
        minus_[a][last] = plus_[a][last] = std::numeric_limits<float>::quiet_NaN();
    }
    e->slot = -1;
}

void PhysicsLocator::link(PhysicalEntity* e)
{
    const int32_t from = e->node != nullptr ? rank_[e->node - nodes_] : LOCATOR_NODES;
    unlist(e);
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
    add_slot(e, from, rank_[n - nodes_]);
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
    if (e->node != nullptr) {
        drop_slot(e, rank_[e->node - nodes_]);
        unlist(e);
    }
}

void PhysicsLocator::unlist(PhysicalEntity* e)
{
    if (e->node == nullptr) {
        return;
    }
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
                                       bool all_volumes, EntityList* moving, bool all_moving,
                                       const PhysicalEntity* apart) const
{
    const auto take = [&](PhysicalEntity* e) {
        if (apart != nullptr && related(e, apart)) {
            return;
        }
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
    // reaches, and the slots are in the walk's order: a plain scan of them,
    // four at a time, finds the walk's entities in its order; runs of slots
    // whose common box misses the query box are passed over.
    const Quad qlo[3] = {quad_of(lo.x), quad_of(lo.y), quad_of(lo.z)};
    const Quad qhi[3] = {quad_of(hi.x), quad_of(hi.y), quad_of(hi.z)};
    // One bit a box of the four from `base` on that meets the query box.
    const auto meets = [&](const float* const minus[3], const float* const plus[3], int32_t base) {
        return lanes_of((load(minus[0] + base) <= qhi[0]) & (load(plus[0] + base) >= qlo[0]) &
                        (load(minus[1] + base) <= qhi[1]) & (load(plus[1] + base) >= qlo[1]) &
                        (load(minus[2] + base) <= qhi[2]) & (load(plus[2] + base) >= qlo[2]));
    };
    const float* const group_minus[3] = {group_minus_[0], group_minus_[1], group_minus_[2]};
    const float* const group_plus[3] = {group_plus_[0], group_plus_[1], group_plus_[2]};
    const float* const minus[3] = {minus_[0], minus_[1], minus_[2]};
    const float* const plus[3] = {plus_[0], plus_[1], plus_[2]};
    uint32_t groups = 0;
    for (int32_t g = 0; g * GROUP < count_; g += 4) {
        groups |= meets(group_minus, group_plus, g) << g;
    }
    for (; groups != 0; groups &= groups - 1) {
        const int32_t first = __builtin_ctz(groups) * GROUP;
        for (int32_t base = first; base < first + GROUP; base += 4) {
            for (uint32_t lanes = meets(minus, plus, base); lanes != 0; lanes &= lanes - 1) {
                take(slots_[base + __builtin_ctz(lanes)]);
            }
        }
    }
}
