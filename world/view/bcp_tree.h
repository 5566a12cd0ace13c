#pragma once
// The clip partition tree: a BSP of view directions from the eye whose leaves
// are empty (still visible) or solid (covered). Every plane passes through the
// eye, so a node holds a normal only; a direction d lies in front of a node
// when normal . d is positive. Accepted polygons become solid: each of their
// edges gives a plane through the eye, and the polygon's cone lies behind all
// of them (polygons wind clockwise seen from the eye).
//
// Nodes come from a fixed pool and edge pieces from a fixed buffer, one slot
// per recursion depth; nothing is allocated per frame. Where a limit is met (a
// pool that runs dry, a piece of too many edges, too deep a recursion) the
// piece counts as visible and is not recorded, so nothing wrongly disappears.
#include "core/vector.h"

#include <cstdint>

enum BcpNodeType : int32_t {
    BCP_NODE_FREE = -1,
    BCP_NODE_EMPTY = 0,
    BCP_NODE_SOLID = 1,
    BCP_NODE_SPLIT = 2,
};

struct BcpNode {
    int32_t type = BCP_NODE_FREE;
    Vector normal = {0.0f, 0.0f, 0.0f};
    BcpNode* front = nullptr; // also the next free node while in the pool
    BcpNode* back = nullptr;
};

// A vertex relative to the eye; active: the edge from the previous vertex to
// this one is a real polygon edge, not a piece of a plane already in the tree.
struct BcpEdge {
    Vector vertex;
    uint32_t active;
};

constexpr int BCP_MAX_EDGES = 64;
constexpr int BCP_MAX_DEPTH = 63;
constexpr float BCP_DIST_EPSILON = 0.01f;
constexpr int BCP_EDGE_RECORDS = BCP_MAX_EDGES * 2 * BCP_MAX_EDGES; // a front and a back piece per depth

class BcpTree {
public:
    BcpTree() = default;
    ~BcpTree() { free(); }
    BcpTree(const BcpTree&) = delete;
    BcpTree& operator=(const BcpTree&) = delete;

    // n nodes and the edge buffer; 1, or 0 when memory runs out.
    int alloc(int32_t n);
    void free();

    // A new frame: everything visible except the directions outside the
    // planes (normals pointing into the view; at most n - 1 of them / 2 fit).
    void reset(const Vector& eye, const Plane* planes, int32_t count);

    // 1 when some part of the polygon (world vertices) is still visible; that
    // part becomes solid. must_clip 0: the polygon lies wholly inside the
    // planes of reset, whose nodes are then skipped.
    int insert_polygon(const Vector* const* vertices, int32_t count, int must_clip);
    // The same with the vertices given by value.
    int insert_polygon(const Vector* vertices, int32_t count, int must_clip);

    bool covered() const { return root_ != nullptr && root_->type == BCP_NODE_SOLID; }
    const BcpNode* root() const { return root_; }
    int32_t free_nodes() const { return free_count_; }
    int32_t capacity() const { return capacity_; }
    // Pieces counted visible without being recorded, since reset.
    int32_t unrecorded() const { return unrecorded_; }

    int split(BcpNode* node, BcpEdge* edges, int32_t count, int32_t depth);
    void free_subtree(BcpNode* node);
    void make_solid(BcpNode* node);

private:
    BcpNode* take_node(int32_t type);
    void release_node(BcpNode* node);
    int split_leaf(BcpNode* node, BcpEdge* edges, int32_t count);
    int insert_edges(int32_t count, int must_clip);

    Vector eye_ = {0.0f, 0.0f, 0.0f};
    BcpNode* root_ = nullptr;
    BcpNode* entry_ = nullptr;
    int32_t side_count_ = 0;
    BcpNode* nodes_ = nullptr;
    BcpNode* free_list_ = nullptr;
    int32_t free_count_ = 0;
    int32_t capacity_ = 0;
    BcpEdge* edges_ = nullptr;
    int32_t unrecorded_ = 0;
};
