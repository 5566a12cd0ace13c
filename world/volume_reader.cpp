// Reader of "volume.txt".
#include "core/print.h"
#include "world/map_text_reader.h"
#include "world/volume_set.h"

#include <new>
#include <vector>

namespace {

constexpr const char* FILE_NAME = "volume.txt";
constexpr uint32_t CHILD_IS_LEAF = 0x80000000u;

bool bad_count(const char* what, int64_t count)
{
    print_format(P_ERROR, "KLoad: Bad %s count %lld in %s", what, static_cast<long long>(count), FILE_NAME);
    return false;
}

bool read_counts(MapTextReader& in, FileStream* stream, int32_t (&counts)[5])
{
    static const char* const names[5] = {"tree", "model", "trigger list", "leaf", "node"};
    for (int i = 0; i < 5; ++i) {
        if (!in.line_ints(&counts[i], 1)) {
            return false;
        }
        // A set needs the world model and at least one hull tree.
        const int32_t least = i < 2 ? 1 : 0;
        if (counts[i] < least || !count_fits(counts[i], stream)) {
            return bad_count(names[i], counts[i]);
        }
    }
    if (!count_fits(static_cast<int64_t>(counts[0]) * counts[1], stream)) {
        return bad_count("tree record", static_cast<int64_t>(counts[0]) * counts[1]);
    }
    return true;
}

bool read_leaf(VolumeSet& set, MapTextReader& in, int32_t leaf)
{
    VolumeElement& e = set.elements[set.node_count + leaf];
    int32_t count = 0;
    if (!in.next_line() || !in.read_int(e.contents) || !in.read_int(count)) {
        return false;
    }
    const int32_t used = static_cast<int32_t>(e.triggers - set.pool);
    if (count < 0 || count > set.pool_length - used) {
        print_format(P_ERROR, "KLoad: Leaf %d of %s overfills the trigger lists", leaf, FILE_NAME);
        return false;
    }
    int32_t* const run = set.pool + used;
    for (int32_t i = 0; i < count; ++i) {
        if (!in.read_int(run[i])) {
            return false;
        }
        if (run[i] != VOLUME_BOX_TRIGGER && (run[i] < 0 || run[i] >= VOLUME_TRIGGER_LIMIT)) {
            print_format(P_ERROR, "KLoad: Bad trigger number %d in leaf %d of %s", run[i], leaf, FILE_NAME);
            return false;
        }
    }
    e.trigger_count = count;
    return true;
}

const VolumeElement* child_element(const VolumeSet& set, uint32_t value)
{
    if ((value & CHILD_IS_LEAF) != 0) {
        const uint32_t leaf = value & ~CHILD_IS_LEAF;
        return leaf < static_cast<uint32_t>(set.leaf_count) ? set.elements + set.node_count + leaf : nullptr;
    }
    return value < static_cast<uint32_t>(set.node_count) ? set.elements + value : nullptr;
}

bool read_node(VolumeSet& set, MapTextReader& in, int32_t node)
{
    float v[4];
    uint32_t front = 0;
    uint32_t back = 0;
    if (!in.line_floats(v, 4) || !in.read_hex(front) || !in.read_hex(back)) {
        return false;
    }
    set.planes[node] = Plane{{v[0], v[1], v[2]}, v[3]};
    VolumeElement& e = set.elements[node];
    e.plane = set.planes + node;
    e.split = set.planes[node];
    e.front = child_element(set, front);
    e.back = child_element(set, back);
    if (e.front == nullptr || e.back == nullptr) {
        print_format(P_ERROR, "KLoad: Invalid child used in node %d of %s", node, FILE_NAME);
        return false;
    }
    return true;
}

int32_t node_index(const VolumeSet& set, const VolumeElement* e) { return static_cast<int32_t>(e - set.elements); }

// Every node is a child at most once and hangs below its roots no deeper than
// the walks allow: no cycles, no shared subtrees. Leaves may be shared.
bool check_tree_shapes(const VolumeSet& set)
{
    std::vector<uint8_t> parents(static_cast<size_t>(set.node_count), 0);
    for (int32_t j = 0; j < set.node_count; ++j) {
        for (const VolumeElement* child : {set.elements[j].front, set.elements[j].back}) {
            if (!child->is_leaf() && parents[static_cast<size_t>(node_index(set, child))]++ != 0) {
                print_format(P_ERROR, "KLoad: Node %d used twice in %s", node_index(set, child), FILE_NAME);
                return false;
            }
        }
    }
    // With one parent a node, a walk from a root meets each node at most once
    // unless it runs round a cycle, which the depth limit ends.
    std::vector<uint8_t> walked(static_cast<size_t>(set.node_count), 0);
    std::vector<std::pair<const VolumeElement*, int32_t>> pending;
    for (int64_t r = 0; r < static_cast<int64_t>(set.models) * set.trees; ++r) {
        const VolumeElement* const root = set.records[r].root;
        if (root == nullptr || root->is_leaf() || walked[static_cast<size_t>(node_index(set, root))] != 0) {
            continue;
        }
        pending.assign(1, {root, 1});
        while (!pending.empty()) {
            const auto [e, depth] = pending.back();
            pending.pop_back();
            if (depth > VOLUME_TREE_DEPTH_MAX) {
                print_format(P_ERROR, "KLoad: Tree in %s deeper than %d nodes or cyclic", FILE_NAME,
                             VOLUME_TREE_DEPTH_MAX);
                return false;
            }
            walked[static_cast<size_t>(node_index(set, e))] = 1;
            for (const VolumeElement* child : {e->front, e->back}) {
                if (!child->is_leaf()) {
                    pending.emplace_back(child, depth + 1);
                }
            }
        }
    }
    return true;
}

bool read_model(VolumeSet& set, MapTextReader& in, int32_t m)
{
    float box[6];
    if (!in.line_floats(box, 6)) {
        return false;
    }
    for (int32_t t = 0; t < set.trees; ++t) {
        int32_t root = 0;
        if (!in.line_ints(&root, 1)) {
            return false;
        }
        if (root >= set.node_count + set.leaf_count) {
            print_format(P_ERROR, "KLoad: Invalid root %d of model %d in %s", root, m, FILE_NAME);
            return false;
        }
        const Vector& h = set.hulls[t];
        VolumeTree& record = set.records[static_cast<int64_t>(m) * set.trees + t];
        record.root = root < 0 ? nullptr : set.elements + root;
        // The record's box takes the hull vector twice on each side.
        record.set_box(Vector{box[0] - 2.0f * h.x, box[1] - 2.0f * h.y, box[2] - 2.0f * h.z},
                       Vector{box[3] + 2.0f * h.x, box[4] + 2.0f * h.y, box[5] + 2.0f * h.z});
    }
    return true;
}

bool read_body(VolumeSet& set, MapTextReader& in, FileStream* stream)
{
    int32_t counts[5];
    if (!read_counts(in, stream, counts)) {
        return false;
    }
    const int32_t trees = counts[0];
    const int32_t models = counts[1];
    const int64_t records = static_cast<int64_t>(trees) * models;
    set.records = new (std::nothrow) VolumeTree[static_cast<size_t>(records)];
    set.hulls = new (std::nothrow) Vector[static_cast<size_t>(trees)];
    if (set.records == nullptr || set.hulls == nullptr) {
        return false;
    }
    set.trees = trees;
    set.models = models;
    if (counts[2] > 0) {
        set.pool = new (std::nothrow) int32_t[static_cast<size_t>(counts[2])];
        if (set.pool == nullptr) {
            return false;
        }
        set.pool_length = counts[2];
    }
    const int32_t leaves = counts[3];
    const int32_t nodes = counts[4];
    if (static_cast<int64_t>(leaves) + nodes > INT32_MAX / 2) {
        return bad_count("element", static_cast<int64_t>(leaves) + nodes);
    }
    set.elements = new (std::nothrow) VolumeElement[static_cast<size_t>(leaves + nodes)];
    set.planes = new (std::nothrow) Plane[static_cast<size_t>(nodes > 0 ? nodes : 1)];
    if (set.elements == nullptr || set.planes == nullptr) {
        return false;
    }
    set.leaf_count = leaves;
    set.node_count = nodes;

    for (int32_t t = 0; t < trees; ++t) {
        float v[3];
        if (!in.line_floats(v, 3)) {
            return false;
        }
        set.hulls[t] = Vector{v[0], v[1], v[2]};
    }
    int32_t used = 0;
    for (int32_t i = 0; i < leaves; ++i) {
        set.elements[nodes + i].triggers = set.pool + used;
        if (!read_leaf(set, in, i)) {
            return false;
        }
        used += set.elements[nodes + i].trigger_count;
    }
    for (int32_t j = 0; j < nodes; ++j) {
        if (!read_node(set, in, j)) {
            return false;
        }
    }
    for (int32_t m = 0; m < models; ++m) {
        if (!read_model(set, in, m)) {
            return false;
        }
    }
    return check_tree_shapes(set);
}

} // namespace

int read_volume(VolumeSet& set, FileStream* stream, uint32_t* identifier)
{
    set.free_arrays();
    MapTextReader in(stream, FILE_NAME);
    if (!in.header_after_comments("textualVolume,version001", identifier, "KLoad: Unknown volume.txt version")) {
        return 0;
    }
    if (!read_body(set, in, stream)) {
        // Nothing half read stays behind for a walk to meet.
        set.free_arrays();
        return 0;
    }
    return 1;
}
