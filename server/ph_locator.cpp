#include "server/ph_locator.h"

namespace {

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

void PhysicsLocator::build(const Vector& box_min, const Vector& box_max)
{
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
    const float l[3] = {lo.x, lo.y, lo.z};
    const float h[3] = {hi.x, hi.y, hi.z};
    query(l, h, [&](PhysicalEntity* e) {
        if (!sphere_box_meets(e, lo, hi)) {
            return;
        }
        if (volumes != nullptr &&
            (all_volumes || (e->volume != nullptr && (e->motion == nullptr || e->radius >= r)))) {
            volumes->add(e);
        }
        if (moving != nullptr && (all_moving || (e->motion != nullptr && (e->volume == nullptr || e->radius <= r)))) {
            moving->add(e);
        }
    });
}
