// Node values and lists, targets snapped to the graph, and routes between
// targets.
#include "core/kassert.h"
#include "core/print.h"
#include "server/route_graph.h"

#include <algorithm>
#include <cmath>

namespace {

Vector minus(const Vector& a, const Vector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

float length(const Vector& v) { return std::sqrt(vec_dot(v, v)); }

// Distance from p to the line through a with direction ab.
float line_distance(const Vector& ap, const Vector& ab)
{
    const float along = vec_dot(ap, ab) / vec_dot(ab, ab);
    const Vector off = {ap.x - along * ab.x, ap.y - along * ab.y, ap.z - along * ab.z};
    return length(off);
}

} // namespace

void MapRoute::reset_tables()
{
    for (int32_t t = 0; t < MAX_TARGETS; ++t) {
        targets_[t] = RouteTarget{};
        targets_[t].next = t + 1 < MAX_TARGETS ? t + 1 : ROUTE_NONE;
    }
    free_target_ = 0;
    for (int32_t r = 0; r < MAX_ROUTES; ++r) {
        routes_[r] = RouteLink{};
        routes_[r].nextfrom = r + 1 < MAX_ROUTES ? r + 1 : ROUTE_NONE;
    }
    free_route_ = 0;
}

void MapRoute::register_node(int32_t n, uint32_t value)
{
    K_ASSERT(valid_node(n));
    nodes_[static_cast<size_t>(n)].value = value;
}

uint32_t MapRoute::node_info(int32_t n, uint32_t neighbour_capacity, std::vector<int32_t>& neighbours,
                             uint32_t router_capacity, std::vector<int32_t>& routers) const
{
    K_ASSERT(valid_node(n));
    const RouteNode& node = nodes_[static_cast<size_t>(n)];
    uint32_t flags = 0;
    neighbours.clear();
    routers.clear();
    if (neighbour_capacity != 0) {
        if (node.linkcount > neighbour_capacity) {
            flags |= NODEINFO_NEIGHBOURS_CUT;
        }
        const uint32_t count = std::min(node.linkcount, neighbour_capacity);
        for (uint32_t k = 0; k < count; ++k) {
            neighbours.push_back(other_end(edges_[links_[node.links + k]], n));
        }
    }
    if (router_capacity != 0) {
        const size_t record = node.factor == FACTOR_ROUTER ? static_cast<size_t>(factorcount_ + n)
                                                           : static_cast<size_t>(node.factor);
        const RouteFactor& factor = factors_[record];
        if (factor.routercount > router_capacity) {
            flags |= NODEINFO_ROUTERS_CUT;
        }
        const uint32_t count = std::min(factor.routercount, router_capacity);
        for (uint32_t k = 0; k < count; ++k) {
            routers.push_back(routers_[factor.routers + k]);
        }
    }
    return flags;
}

void MapRoute::attach(int32_t t, int32_t n)
{
    RouteTarget& target = targets_[t];
    RouteNode& node = nodes_[static_cast<size_t>(n)];
    target.node = n;
    target.next = node.targets;
    node.targets = t;
}

void MapRoute::detach(int32_t t)
{
    RouteTarget& target = targets_[t];
    int32_t* link = &nodes_[static_cast<size_t>(target.node)].targets;
    // A node holds at most every target.
    for (int32_t k = 0; k < MAX_TARGETS && *link != ROUTE_NONE; ++k) {
        if (*link == t) {
            *link = target.next;
            break;
        }
        link = &targets_[*link].next;
    }
    target.next = ROUTE_NONE;
    target.node = ROUTE_NONE;
}

int32_t MapRoute::create_target(int32_t n)
{
    K_ASSERT(loaded());
    if (n == ROUTE_NONE) {
        n = 0;
    }
    K_ASSERT(valid_node(n));
    const int32_t t = free_target_;
    if (t == ROUTE_NONE) {
        return -1;
    }
    free_target_ = targets_[t].next;
    RouteTarget& target = targets_[t];
    target = RouteTarget{};
    attach(t, n);
    target.position = nodes_[static_cast<size_t>(n)].position;
    return t;
}

void MapRoute::destroy_target(int32_t t)
{
    K_ASSERT(target_in_use(t));
    RouteTarget& target = targets_[t];
    if (target.fromroutes != ROUTE_NONE || target.toroutes != ROUTE_NONE) {
        // Left in place they would name a free target, and its next use would break them.
        print_format(P_WARNING, "Route: target %d destroyed while routes use it; they are freed", t);
        for (int32_t k = 0; k < MAX_ROUTES && target.fromroutes != ROUTE_NONE; ++k) {
            destroy_route(target.fromroutes);
        }
        for (int32_t k = 0; k < MAX_ROUTES && target.toroutes != ROUTE_NONE; ++k) {
            destroy_route(target.toroutes);
        }
    }
    detach(t);
    target = RouteTarget{};
    target.next = free_target_;
    free_target_ = t;
}

void MapRoute::place_target(int32_t t, const Vector& p)
{
    K_ASSERT(target_in_use(t));
    RouteTarget& target = targets_[t];
    target.edge = ROUTE_NONE;
    int32_t best = target.node;
    float bestdistance = ROUTE_PLACE_REACH;
    for (size_t n = 0; n < nodes_.size(); ++n) {
        RouteNode& node = nodes_[n];
        const float d = length(minus(p, node.position));
        node.distance = d;
        if (d < bestdistance) {
            best = static_cast<int32_t>(n);
            bestdistance = d;
            if (d == 0.0f) {
                break;
            }
        }
    }
    if (bestdistance > 0.0f) {
        for (size_t e = 0; e < edges_.size(); ++e) {
            const RouteEdge& edge = edges_[e];
            const RouteNode& a = nodes_[static_cast<size_t>(edge.from)];
            const RouteNode& b = nodes_[static_cast<size_t>(edge.to)];
            if (a.distance > ROUTE_PLACE_REACH && b.distance > ROUTE_PLACE_REACH) {
                continue;
            }
            const Vector ab = minus(b.position, a.position);
            const Vector ap = minus(p, a.position);
            if (!(vec_dot(ap, ab) > 0.0f) || !(vec_dot(minus(b.position, p), ab) > 0.0f)) {
                continue;
            }
            const float d = line_distance(ap, ab);
            if (d < bestdistance) {
                bestdistance = d;
                target.edge = static_cast<int32_t>(e);
                best = a.distance < b.distance ? edge.from : edge.to;
                if (d == 0.0f) {
                    break;
                }
            }
        }
    }
    if (best != target.node) {
        detach(t);
        attach(t, best);
    }
    target.position = p;
}

void MapRoute::move_target(int32_t t, const Vector& p)
{
    K_ASSERT(target_in_use(t));
    RouteTarget& target = targets_[t];
    if (length(minus(p, target.position)) < ROUTE_MOVE_MIN) {
        return;
    }
    int32_t n = target.node;
    RouteNode* near = &nodes_[static_cast<size_t>(n)];
    near->distance = length(minus(p, near->position));
    if (target.edge != ROUTE_NONE) {
        const int32_t o = other_end(edges_[static_cast<size_t>(target.edge)], n);
        RouteNode& other = nodes_[static_cast<size_t>(o)];
        other.distance = length(minus(p, other.position));
        if (other.distance < near->distance) {
            n = o;
            near = &other;
        }
    }
    float bestdistance = near->distance;
    target.edge = ROUTE_NONE;
    const Vector np = minus(p, near->position);
    for (uint32_t k = 0; k < near->linkcount; ++k) {
        const uint32_t e = links_[near->links + k];
        const int32_t m = other_end(edges_[e], n);
        const Vector nm = minus(nodes_[static_cast<size_t>(m)].position, near->position);
        if (!(vec_dot(np, nm) > 0.0f)) {
            continue;
        }
        const float d = line_distance(np, nm);
        if (d < bestdistance) {
            target.edge = static_cast<int32_t>(e);
            bestdistance = d;
        }
    }
    if (bestdistance <= ROUTE_MOVE_REACH) {
        if (n != target.node) {
            detach(t);
            attach(t, n);
        }
        target.position = p;
        return;
    }
    print_string(P_DEBUG, "Route: re-placing target");
    place_target(t, p);
}

int32_t MapRoute::create_route(int32_t from, int32_t to)
{
    K_ASSERT(target_in_use(from) && target_in_use(to));
    const int32_t r = free_route_;
    if (r == ROUTE_NONE) {
        return -1;
    }
    free_route_ = routes_[r].nextfrom;
    RouteLink& route = routes_[r];
    route.from = from;
    route.to = to;
    route.nextfrom = targets_[from].fromroutes;
    targets_[from].fromroutes = r;
    route.nextto = targets_[to].toroutes;
    targets_[to].toroutes = r;
    return r;
}

void MapRoute::destroy_route(int32_t r)
{
    K_ASSERT(route_in_use(r));
    RouteLink& route = routes_[r];
    int32_t* link = &targets_[route.from].fromroutes;
    for (int32_t k = 0; k < MAX_ROUTES && *link != ROUTE_NONE; ++k) {
        if (*link == r) {
            *link = route.nextfrom;
            break;
        }
        link = &routes_[*link].nextfrom;
    }
    link = &targets_[route.to].toroutes;
    for (int32_t k = 0; k < MAX_ROUTES && *link != ROUTE_NONE; ++k) {
        if (*link == r) {
            *link = route.nextto;
            break;
        }
        link = &routes_[*link].nextto;
    }
    route = RouteLink{};
    route.nextfrom = free_route_;
    free_route_ = r;
}
