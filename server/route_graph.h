#pragma once
// The route graph of the loaded map ("graph.txt"): nodes with their edges,
// the routers (junction nodes 0 to routercount - 1) and the areas that list
// the routers that matter from them; targets that scripts place in the world
// and that snap to the graph; routes between two targets and the search for
// a route's next step. Nodes, edges, targets and routes are indices; -1 is
// none.
#include "core/vector.h"

#include <cstdint>
#include <vector>

// Passability classes in bit pairs: the even bits let a class pass from an
// edge's `from` to its `to`, the odd bits from `to` to `from`.
constexpr uint32_t EDGEF_FORWARD = 0x55;
constexpr uint32_t EDGEF_BACKWARD = 0xAA;
constexpr int32_t FACTOR_ROUTER = 0;
constexpr int32_t MAX_TARGETS = 256;
constexpr int32_t MAX_ROUTES = 256;
constexpr uint32_t ROUTE_UNREACHED = 0xFFFFFFFFu;
constexpr int32_t ROUTE_NONE = -1;

// A target farther than this from a node or edge end does not snap to it.
constexpr float ROUTE_PLACE_REACH = 800.0f;
// A move shorter than this changes nothing.
constexpr float ROUTE_MOVE_MIN = 16.0f;
// A move that lands farther than this from the old neighbourhood places anew.
constexpr float ROUTE_MOVE_REACH = 200.0f;

struct RouteNode {
    Vector position{};
    uint32_t linkcount = 0;
    uint32_t links = 0; // first entry in the link array
    int32_t factor = 0;
    int32_t targets = ROUTE_NONE;
    float distance = 0.0f;
    uint32_t cost = ROUTE_UNREACHED;
    int32_t bestnode = 0;
    uint32_t value = 0;
};

struct RouteEdge {
    int32_t from = 0;
    int32_t to = 0;
    uint32_t type = 0;
    uint32_t cost = 1;
};

struct RouteFactor {
    uint32_t routercount = 0;
    uint32_t routers = 0; // first entry in the router array
};

struct RouteTarget {
    int32_t next = ROUTE_NONE; // the free list, or the node's targets
    int32_t node = ROUTE_NONE; // none while free
    int32_t edge = ROUTE_NONE;
    Vector position{};
    int32_t fromroutes = ROUTE_NONE;
    int32_t toroutes = ROUTE_NONE;
};

struct RouteLink {
    int32_t from = ROUTE_NONE; // targets; none while free
    int32_t to = ROUTE_NONE;
    int32_t nextfrom = ROUTE_NONE; // also the free list
    int32_t nextto = ROUTE_NONE;
};

// What a search finds, in node indices.
struct RouteInfo {
    int32_t from_node = ROUTE_NONE;
    int32_t to_node = ROUTE_NONE;
    int32_t from_other = ROUTE_NONE;
    int32_t to_other = ROUTE_NONE;
    int32_t start = ROUTE_NONE;
    int32_t final_node = ROUTE_NONE;
    int32_t next = ROUTE_NONE;
    int32_t after_next = ROUTE_NONE;
    int32_t router = ROUTE_NONE;
    uint32_t cost = 0;
};

// Flags of node_info.
constexpr uint32_t NODEINFO_NEIGHBOURS_CUT = 1;
constexpr uint32_t NODEINFO_ROUTERS_CUT = 2;

class MapRoute {
public:
    MapRoute() = default;
    MapRoute(const MapRoute&) = delete;
    MapRoute& operator=(const MapRoute&) = delete;

    // Reads directory + "/graph.txt" through the file system. 1, or 0 after
    // printing why, with the graph left empty.
    int load(const char* directory, uint32_t map_id);
    void free();

    bool loaded() const { return !nodes_.empty(); }
    int32_t node_count() const { return static_cast<int32_t>(nodes_.size()); }
    int32_t edge_count() const { return static_cast<int32_t>(edges_.size()); }
    int32_t factor_count() const { return factorcount_; }
    int32_t router_count() const { return routercount_; }
    const RouteNode& node(int32_t n) const { return nodes_[static_cast<size_t>(n)]; }
    const RouteEdge& edge(int32_t e) const { return edges_[static_cast<size_t>(e)]; }
    bool valid_node(int32_t n) const { return n >= 0 && n < node_count(); }

    void register_node(int32_t n, uint32_t value);
    // The node's neighbours (other ends of its edges, in link order) and the
    // routers of its area, each cut to its capacity; a capacity of 0 leaves
    // its list alone. The NODEINFO_* flags of the lists that were cut.
    uint32_t node_info(int32_t n, uint32_t neighbour_capacity, std::vector<int32_t>& neighbours,
                       uint32_t router_capacity, std::vector<int32_t>& routers) const;

    // Target and route ids are 0-255.
    bool target_in_use(int32_t t) const { return t >= 0 && t < MAX_TARGETS && targets_[t].node != ROUTE_NONE; }
    bool route_in_use(int32_t r) const { return r >= 0 && r < MAX_ROUTES && routes_[r].from != ROUTE_NONE; }
    const RouteTarget& target(int32_t t) const { return targets_[t]; }
    const RouteLink& route(int32_t r) const { return routes_[r]; }

    // A new target at the node (none: node 0), or -1 when all are in use.
    int32_t create_target(int32_t n);
    // Routes that still use the target are freed with it, after a warning.
    void destroy_target(int32_t t);
    void place_target(int32_t t, const Vector& p);
    void move_target(int32_t t, const Vector& p);
    int32_t create_route(int32_t from, int32_t to);
    void destroy_route(int32_t r);

    // The type mask names each class for both directions.
    static bool type_paired(uint32_t type) { return ((type & EDGEF_FORWARD) << 1) == (type & EDGEF_BACKWARD); }
    // Searches from the route's destination back over the whole graph and
    // fills info; 1 when a next node was found. start: none for the from
    // target's node. excluded_node none and excluded_factor 0 exclude nothing.
    int find_route(int32_t r, RouteInfo& info, int32_t start, uint32_t type, int32_t excluded_node,
                   int32_t excluded_factor);

private:
    friend class RouteFileReader;

    // The end of e that is not n (its `from` when n is neither end).
    int32_t other_end(const RouteEdge& e, int32_t n) const { return e.from == n ? e.to : e.from; }
    // Whether a traveller of the type may go from the other end of e to n,
    // and that end may be entered; m receives the other end.
    bool step_toward(const RouteEdge& e, int32_t n, int32_t& m) const;
    void search(int32_t destination);
    void shortest_costs(int32_t destination);
    void attach(int32_t t, int32_t n);
    void detach(int32_t t);
    void reset_tables();

    std::vector<RouteNode> nodes_;
    std::vector<RouteEdge> edges_;
    std::vector<uint32_t> links_;
    std::vector<RouteFactor> factors_;
    std::vector<int32_t> routers_;
    int32_t factorcount_ = 0;
    int32_t routercount_ = 0;
    RouteTarget targets_[MAX_TARGETS];
    RouteLink routes_[MAX_ROUTES];
    int32_t free_target_ = ROUTE_NONE;
    int32_t free_route_ = ROUTE_NONE;

    // Search state, sized at the load so that a search allocates nothing.
    struct Frame {
        int32_t node;
        int32_t router;
        uint32_t link;
    };
    struct Queued {
        uint64_t cost;
        int32_t node;
    };
    std::vector<Frame> stack_;
    std::vector<Queued> queue_;
    std::vector<uint8_t> visited_;
    uint32_t search_type_ = 0;
    int32_t search_start_ = ROUTE_NONE;
    int32_t excluded_node_ = ROUTE_NONE;
    int32_t excluded_factor_ = 0;
    int32_t found_router_ = ROUTE_NONE;
};
