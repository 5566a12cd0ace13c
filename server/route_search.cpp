// The route search. Costs run from the destination backwards over every edge
// that the traveller's classes may pass toward it. The answer is the one a
// depth-first relaxation from the destination gives: each node ends at its
// least cost, and its next node is the neighbour that first offered that cost
// in depth-first order (ties keep the first found). That relaxation searches
// a node again each time its cost drops, which is exponential at worst, so
// the costs come from a priority queue instead, and one depth-first pass over
// the edges that carry least costs then finds who offered each cost first.
// Both passes are iterative and touch every link a bounded number of times.
#include "core/kassert.h"
#include "server/route_graph.h"

#include <algorithm>

bool MapRoute::step_toward(const RouteEdge& e, int32_t n, int32_t& m) const
{
    // From n's side: the traveller would walk from m to n.
    uint32_t pass;
    if (e.from == n) {
        m = e.to;
        pass = e.type & search_type_ & EDGEF_BACKWARD;
    } else {
        m = e.from;
        pass = e.type & search_type_ & EDGEF_FORWARD;
    }
    if (pass == 0) {
        return false;
    }
    if (excluded_factor_ != 0 && nodes_[static_cast<size_t>(m)].factor == excluded_factor_) {
        return false;
    }
    return m != excluded_node_;
}

void MapRoute::shortest_costs(int32_t destination)
{
    // A binary heap of {cost, node} with stale entries skipped: a node is
    // pushed at most once per link that lowers it, and the queue holds one
    // slot per link and the destination.
    size_t size = 0;
    const auto greater = [](const Queued& a, const Queued& b) { return a.cost > b.cost; };
    queue_[size++] = {0, destination};
    while (size > 0) {
        std::pop_heap(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(size), greater);
        const Queued q = queue_[--size];
        const RouteNode& n = nodes_[static_cast<size_t>(q.node)];
        if (q.cost != n.cost) {
            continue;
        }
        for (uint32_t k = 0; k < n.linkcount; ++k) {
            const RouteEdge& e = edges_[links_[n.links + k]];
            int32_t m = 0;
            if (!step_toward(e, q.node, m)) {
                continue;
            }
            // A cost that would not fit in 32 bits is no way at all.
            const uint64_t cost = q.cost + e.cost;
            RouteNode& to = nodes_[static_cast<size_t>(m)];
            if (cost < to.cost) {
                to.cost = static_cast<uint32_t>(cost);
                K_ASSERT(size < queue_.size());
                queue_[size++] = {cost, m};
                std::push_heap(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(size), greater);
            }
        }
    }
}

void MapRoute::search(int32_t destination)
{
    shortest_costs(destination);
    std::fill(visited_.begin(), visited_.end(), 0);
    size_t depth = 0;
    const auto enter = [&](int32_t n, int32_t router) {
        if (n == search_start_) {
            found_router_ = router;
        }
        if (nodes_[static_cast<size_t>(n)].factor == FACTOR_ROUTER) {
            router = n;
        }
        visited_[static_cast<size_t>(n)] = 1;
        // Who offers a neighbour its least cost first: the earliest node of
        // the depth-first order with an edge that carries exactly that cost.
        const RouteNode& node = nodes_[static_cast<size_t>(n)];
        for (uint32_t k = 0; k < node.linkcount; ++k) {
            const RouteEdge& e = edges_[links_[node.links + k]];
            int32_t m = 0;
            if (!step_toward(e, n, m)) {
                continue;
            }
            RouteNode& to = nodes_[static_cast<size_t>(m)];
            if (to.bestnode == m && m != destination && uint64_t{node.cost} + e.cost == to.cost) {
                to.bestnode = n;
            }
        }
        K_ASSERT(depth < stack_.size());
        stack_[depth++] = {n, router, 0};
    };
    enter(destination, ROUTE_NONE);
    while (depth > 0) {
        Frame& f = stack_[depth - 1];
        const RouteNode& node = nodes_[static_cast<size_t>(f.node)];
        if (f.link == node.linkcount) {
            --depth;
            continue;
        }
        const int32_t m = other_end(edges_[links_[node.links + f.link]], f.node);
        ++f.link;
        // A node is searched below the one that gave it its cost; searching
        // it again from a second edge between the two changes nothing.
        if (m != f.node && nodes_[static_cast<size_t>(m)].bestnode == f.node && visited_[static_cast<size_t>(m)] == 0) {
            enter(m, f.router);
        }
    }
}

int MapRoute::find_route(int32_t r, RouteInfo& info, int32_t start, uint32_t type, int32_t excluded_node,
                         int32_t excluded_factor)
{
    K_ASSERT(route_in_use(r));
    K_ASSERT(type_paired(type));
    const RouteTarget& ft = targets_[routes_[r].from];
    const RouteTarget& tt = targets_[routes_[r].to];
    const int32_t fn = ft.node;
    const int32_t tn = tt.node;
    const int32_t fn2 = ft.edge != ROUTE_NONE ? other_end(edges_[static_cast<size_t>(ft.edge)], fn) : fn;
    const int32_t tn2 = tt.edge != ROUTE_NONE ? other_end(edges_[static_cast<size_t>(tt.edge)], tn) : tn;

    info = RouteInfo{};
    info.cost = 0;
    info.from_node = fn;
    info.router = ROUTE_NONE;
    info.final_node = tn;
    info.to_node = tn;
    info.to_other = tn2;
    info.from_other = fn2;
    const bool overridden = start != ROUTE_NONE;
    if (!overridden) {
        start = fn;
    }
    K_ASSERT(valid_node(start));
    info.start = start;
    if (start == tn) {
        info.next = start;
        info.after_next = start;
        return 1;
    }
    for (size_t n = 0; n < nodes_.size(); ++n) {
        nodes_[n].cost = ROUTE_UNREACHED;
        nodes_[n].bestnode = static_cast<int32_t>(n);
    }
    nodes_[static_cast<size_t>(tn)].cost = 0;
    search_type_ = type;
    search_start_ = start;
    excluded_node_ = excluded_node;
    excluded_factor_ = excluded_factor;
    found_router_ = ROUTE_NONE;
    search(tn);
    info.router = found_router_ == tn ? ROUTE_NONE : found_router_;
    const RouteNode& s = nodes_[static_cast<size_t>(start)];
    info.cost = s.cost;
    if (s.bestnode == start) {
        info.next = ROUTE_NONE;
        info.after_next = ROUTE_NONE;
        return 0;
    }
    int32_t next = s.bestnode;
    if (!overridden && ft.edge != ROUTE_NONE && next != fn2) {
        // The traveller first returns to its own node.
        next = start;
    }
    info.next = next;
    info.after_next = nodes_[static_cast<size_t>(next)].bestnode;
    if (tt.edge != ROUTE_NONE && tn2 == start) {
        info.next = start;
        info.after_next = start;
        info.final_node = start;
    }
    return info.next != ROUTE_NONE ? 1 : 0;
}
