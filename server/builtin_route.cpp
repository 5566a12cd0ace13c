// The route builtins. Scripts see a node as its index plus one (0: none);
// targets and routes by their ids 0-255.
#include "server/builtin_call.h"
#include "server/builtin_table.h"
#include "server/server.h"

#include <vector>

namespace {

// The record "@find_route" fills, in cells.
constexpr uint32_t ROUTEINFO_CELLS = 10;
// The record "@get_node_info" reads and fills, in cells.
constexpr uint32_t NODEINFO_NODE = 0;
constexpr uint32_t NODEINFO_FACTOR = 1;
constexpr uint32_t NODEINFO_VALUE = 2;
constexpr uint32_t NODEINFO_NEIGHBOURS = 3;
constexpr uint32_t NODEINFO_ROUTERS = 4;
constexpr uint32_t NODEINFO_NEIGHBOUR_ARRAY = 5;
constexpr uint32_t NODEINFO_ROUTER_ARRAY = 6;

uint32_t node_ref(int32_t n) { return n == ROUTE_NONE ? 0 : static_cast<uint32_t>(n) + 1; }

// A node reference from a script: none for 0, else a node of the graph.
int32_t node_of(const Server& s, kcontext_t* c, uint32_t ref)
{
    if (ref == 0) {
        return ROUTE_NONE;
    }
    BUILTIN_CHECK(c, ref <= static_cast<uint32_t>(s.route.node_count()));
    return static_cast<int32_t>(ref - 1);
}

int32_t target_of(const Server& s, kcontext_t* c, int32_t t)
{
    BUILTIN_CHECK(c, s.route.target_in_use(t));
    return t;
}

int32_t route_of(const Server& s, kcontext_t* c, int32_t r)
{
    BUILTIN_CHECK(c, s.route.route_in_use(r));
    return r;
}

void store_nodes(kcontext_t* c, uint32_t array, const std::vector<int32_t>& nodes)
{
    for (size_t k = 0; k < nodes.size(); ++k) {
        k_store32(c, array + static_cast<uint32_t>(4 * k), node_ref(nodes[k]));
    }
}

} // namespace

DEFINE_BUILTIN(register_node, 2)
{
    kcontext_t* const c = a.context();
    const uint32_t i = a.u32(0);
    BUILTIN_CHECK(c, i < static_cast<uint32_t>(s.route.node_count()));
    s.route.register_node(static_cast<int32_t>(i), a.u32(1));
}

DEFINE_BUILTIN(get_node_info, 2)
{
    kcontext_t* const c = a.context();
    const uint32_t record = a.u32(0);
    const int32_t n = node_of(s, c, a.u32(1));
    BUILTIN_CHECK(c, n != ROUTE_NONE);
    const RouteNode& node = s.route.node(n);
    k_store32(c, record + 4 * NODEINFO_NODE, node_ref(n));
    k_store32(c, record + 4 * NODEINFO_FACTOR, static_cast<uint32_t>(node.factor));
    k_store32(c, record + 4 * NODEINFO_VALUE, node.value);
    const uint32_t neighbour_capacity = k_load32(c, record + 4 * NODEINFO_NEIGHBOURS);
    const uint32_t router_capacity = k_load32(c, record + 4 * NODEINFO_ROUTERS);
    std::vector<int32_t> neighbours;
    std::vector<int32_t> routers;
    const uint32_t flags = s.route.node_info(n, neighbour_capacity, neighbours, router_capacity, routers);
    if (neighbour_capacity != 0) {
        k_store32(c, record + 4 * NODEINFO_NEIGHBOURS, static_cast<uint32_t>(neighbours.size()));
        store_nodes(c, k_load32(c, record + 4 * NODEINFO_NEIGHBOUR_ARRAY), neighbours);
    }
    if (router_capacity != 0) {
        k_store32(c, record + 4 * NODEINFO_ROUTERS, static_cast<uint32_t>(routers.size()));
        store_nodes(c, k_load32(c, record + 4 * NODEINFO_ROUTER_ARRAY), routers);
    }
    builtin_result(c, flags);
}

DEFINE_BUILTIN(create_target, 1)
{
    kcontext_t* const c = a.context();
    BUILTIN_CHECK(c, s.route.loaded());
    builtin_result_int(c, s.route.create_target(node_of(s, c, a.u32(0))));
}

DEFINE_BUILTIN(destroy_target, 1) { s.route.destroy_target(target_of(s, a.context(), a.i32(0))); }

DEFINE_BUILTIN(place_target, 4) { s.route.place_target(target_of(s, a.context(), a.i32(0)), a.vec(1)); }

DEFINE_BUILTIN(move_target, 4) { s.route.move_target(target_of(s, a.context(), a.i32(0)), a.vec(1)); }

DEFINE_BUILTIN(create_route, 2)
{
    kcontext_t* const c = a.context();
    const int32_t from = target_of(s, c, a.i32(0));
    const int32_t to = target_of(s, c, a.i32(1));
    builtin_result_int(c, s.route.create_route(from, to));
}

DEFINE_BUILTIN(destroy_route, 1) { s.route.destroy_route(route_of(s, a.context(), a.i32(0))); }

DEFINE_BUILTIN(find_route, 6)
{
    kcontext_t* const c = a.context();
    const int32_t r = route_of(s, c, a.i32(0));
    const uint32_t record = a.u32(1);
    const int32_t start = node_of(s, c, a.u32(2));
    const uint32_t type = a.u32(3);
    BUILTIN_CHECK(c, MapRoute::type_paired(type));
    const int32_t excluded = node_of(s, c, a.u32(4));
    // The whole record must be there before the search writes any of it.
    (void)k_bytes(c, record, 4 * ROUTEINFO_CELLS);
    RouteInfo info;
    const int found = s.route.find_route(r, info, start, type, excluded, a.i32(5));
    const uint32_t cells[ROUTEINFO_CELLS] = {
        node_ref(info.from_node), node_ref(info.to_node),  node_ref(info.from_other), node_ref(info.to_other),
        node_ref(info.start),     node_ref(info.final_node), node_ref(info.next),     node_ref(info.after_next),
        node_ref(info.router),    info.cost,
    };
    for (uint32_t k = 0; k < ROUTEINFO_CELLS; ++k) {
        k_store32(c, record + 4 * k, cells[k]);
    }
    builtin_result_int(c, found);
}
