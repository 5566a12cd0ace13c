// Readers of "rplanes.txt" and "rtrees.txt".
#include "core/print.h"
#include "world/map_text_reader.h"
#include "world/shared_map.h"

#include <cmath>
#include <new>
#include <vector>

namespace {

constexpr uint32_t CHILD_IS_CELL = 0x80000000u;

bool bad_count(const char* what, int32_t count, const char* file_name)
{
    print_format(P_ERROR, "KLoad: Bad %s count %d in %s", what, count, file_name);
    return false;
}

float corner_length(const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

void set_sphere_from_box(Sphere& sphere, const float* box)
{
    sphere_from_box(sphere, Vector{box[0], box[1], box[2]}, Vector{box[3], box[4], box[5]});
}

// Every cell and every node but the root is a child exactly once, and every
// node hangs below the root: no cycles, no shared children, nothing loose.
bool check_tree_shape(const SharedMap& map)
{
    std::vector<uint8_t> node_uses(static_cast<size_t>(map.node_count), 0);
    std::vector<uint8_t> cell_uses(static_cast<size_t>(map.cell_count), 0);
    for (int32_t j = 0; j < map.node_count; ++j) {
        const BspNode& node = map.nodes[j];
        for (int side = 0; side < 2; ++side) {
            const bool is_node = (node.flags & (side == 0 ? BSP_FRONT_NODE : BSP_BACK_NODE)) != 0;
            const BspChild child = side == 0 ? node.front : node.back;
            if (is_node) {
                const int32_t k = child.node->index;
                if (k == 0) {
                    print_format(P_ERROR, "KLoad: Node %d makes a cycle through the root in rtrees.txt", j);
                    return false;
                }
                if (node_uses[k]++ != 0) {
                    print_format(P_ERROR, "KLoad: Node %d used twice in rtrees.txt", k);
                    return false;
                }
            } else {
                const auto c = static_cast<size_t>(child.cell - map.cells);
                if (cell_uses[c]++ != 0) {
                    print_format(P_ERROR, "KLoad: Cell %d used twice in rtrees.txt", static_cast<int>(c));
                    return false;
                }
            }
        }
    }
    for (int32_t c = 0; c < map.cell_count; ++c) {
        if (cell_uses[c] == 0) {
            print_format(P_ERROR, "KLoad: Cell %d not used in rtrees.txt", c);
            return false;
        }
    }
    // With every node used at most once, this walk meets each node once.
    std::vector<int32_t> depth(static_cast<size_t>(map.node_count), 0);
    std::vector<int32_t> pending{0};
    depth[0] = 1;
    int32_t reached = 0;
    while (!pending.empty()) {
        const int32_t j = pending.back();
        pending.pop_back();
        ++reached;
        if (depth[j] > MAP_TREE_DEPTH_MAX) {
            print_format(P_ERROR, "KLoad: BSP tree in rtrees.txt deeper than %d nodes", MAP_TREE_DEPTH_MAX);
            return false;
        }
        const BspNode& node = map.nodes[j];
        if ((node.flags & BSP_FRONT_NODE) != 0) {
            depth[node.front.node->index] = depth[j] + 1;
            pending.push_back(node.front.node->index);
        }
        if ((node.flags & BSP_BACK_NODE) != 0) {
            depth[node.back.node->index] = depth[j] + 1;
            pending.push_back(node.back.node->index);
        }
    }
    if (reached != map.node_count) {
        for (int32_t j = 1; j < map.node_count; ++j) {
            if (depth[j] == 0) {
                print_format(P_ERROR, "KLoad: Node %d not reached from the root in rtrees.txt", j);
                break;
            }
        }
        return false;
    }
    return true;
}

bool read_child(SharedMap& map, uint32_t value, int32_t j, uint32_t node_flag, BspChild& child, uint32_t& flags)
{
    if ((value & CHILD_IS_CELL) != 0) {
        const uint32_t c = value & ~CHILD_IS_CELL;
        if (c >= static_cast<uint32_t>(map.cell_count)) {
            print_format(P_ERROR, "KLoad: Invalid cell used in node %d", j);
            return false;
        }
        child.cell = map.cells + c;
        flags &= ~node_flag;
        return true;
    }
    if (value >= static_cast<uint32_t>(map.node_count)) {
        print_format(P_ERROR, "KLoad: Invalid child node used in node %d", j);
        return false;
    }
    child.node = map.nodes + value;
    flags |= node_flag;
    return true;
}

Sphere& child_sphere(const BspChild& child, bool is_node) { return is_node ? child.node->sphere : child.cell->sphere; }

bool read_node(SharedMap& map, MapTextReader& in, int32_t j)
{
    BspNode& node = map.nodes[j];
    int32_t plane = 0;
    uint32_t unused = 0;
    uint32_t front = 0;
    uint32_t back = 0;
    if (!in.next_line() || !in.read_int(plane) || !in.read_hex(unused) || !in.read_hex(front) ||
        !in.read_hex(back)) {
        return false;
    }
    if (plane < 0 || plane >= map.plane_count) {
        print_format(P_ERROR, "KLoad: Invalid plane used in node %d", j);
        return false;
    }
    node.plane = map.planes + plane;
    if (!read_child(map, front, j, BSP_FRONT_NODE, node.front, node.flags) ||
        !read_child(map, back, j, BSP_BACK_NODE, node.back, node.flags) || !in.skip_lines(2)) {
        return false;
    }
    float box[6];
    if (!in.line_floats(box, 6)) {
        return false;
    }
    set_sphere_from_box(child_sphere(node.front, (node.flags & BSP_FRONT_NODE) != 0), box);
    if (!in.line_floats(box, 6)) {
        return false;
    }
    set_sphere_from_box(child_sphere(node.back, (node.flags & BSP_BACK_NODE) != 0), box);
    return true;
}

} // namespace

int read_rplanes(SharedMap& map, FileStream* stream, uint32_t* identifier)
{
    const char* const file = "rplanes.txt";
    MapTextReader in(stream, file);
    if (!in.header("textualRPlanes,version005", identifier)) {
        return 0;
    }
    int32_t models = 0;
    int32_t n = 0;
    if (!in.line_ints(&models, 1)) {
        return 0;
    }
    if (!count_fits(models, stream)) {
        return bad_count("model", models, file);
    }
    map.model_count = models;
    if (!in.line_ints(&n, 1)) {
        return 0;
    }
    if (!count_fits(n, stream) || n > INT32_MAX / 2) {
        return bad_count("plane", n, file);
    }
    if (!in.skip_lines(models)) {
        return 0;
    }
    delete[] map.planes;
    map.plane_count = 0;
    map.planes = new (std::nothrow) Plane[n > 0 ? 2 * n : 1];
    if (map.planes == nullptr) {
        print_format(P_ERROR, "KLoad: Can't allocate %d planes", 2 * n);
        return 0;
    }
    map.plane_count = 2 * n;
    for (int32_t i = 0; i < n; ++i) {
        float v[4];
        if (!in.line_floats(v, 4)) {
            return 0;
        }
        map.planes[i] = Plane{{v[0], v[1], v[2]}, v[3]};
        map.planes[n + i] = Plane{{-v[0], -v[1], -v[2]}, -v[3]};
    }
    return 1;
}

int read_rtrees(SharedMap& map, FileStream* stream, uint32_t* identifier)
{
    const char* const file = "rtrees.txt";
    MapTextReader in(stream, file);
    if (!in.header("textualRTrees,version005", identifier)) {
        return 0;
    }
    int32_t models = 0;
    if (!in.line_ints(&models, 1)) {
        return 0;
    }
    if (models != map.model_count) {
        print_string(P_ERROR, "KLoad: Different number of models in rtrees.txt");
        return 0;
    }
    int32_t node_count = 0;
    int32_t cell_count = 0;
    if (!in.line_ints(&node_count, 1)) {
        return 0;
    }
    if (node_count < 1 || !count_fits(node_count, stream)) {
        return bad_count("node", node_count, file);
    }
    if (!in.line_ints(&cell_count, 1)) {
        return 0;
    }
    if (cell_count < 1 || !count_fits(cell_count, stream)) {
        return bad_count("cell", cell_count, file);
    }
    if (map.models.create(&map, models) == 0) {
        print_string(P_ERROR, "KLoad: Can't init BSP object manager");
        return 0;
    }
    delete[] map.cells;
    delete[] map.nodes;
    map.nodes = nullptr;
    map.node_count = 0;
    map.cell_count = 0;
    map.cells = new (std::nothrow) Cell[cell_count];
    if (map.cells == nullptr) {
        print_format(P_ERROR, "KLoad: Can't allocate %d cells", cell_count);
        return 0;
    }
    map.cell_count = cell_count;
    map.nodes = new (std::nothrow) BspNode[node_count];
    if (map.nodes == nullptr) {
        print_format(P_ERROR, "KLoad: Can't allocate %d nodes", node_count);
        return 0;
    }
    map.node_count = node_count;
    for (int32_t j = 0; j < node_count; ++j) {
        map.nodes[j].index = j;
    }

    for (int32_t m = 0; m < models; ++m) {
        float box[6];
        if (!in.skip_lines(1) || !in.line_floats(box, 6)) {
            return 0;
        }
        ModelEntity& model = map.models.entity(m);
        model.radius = std::fmax(corner_length(box), corner_length(box + 3));
    }
    for (int32_t c = 0; c < cell_count; ++c) {
        int32_t v[3];
        if (!in.line_ints(v, 3)) {
            return 0;
        }
        if (v[0] < 0 || v[1] < 0) {
            print_format(P_ERROR, "KLoad: Invalid polygon range in cell %d", c);
            return 0;
        }
        map.cells[c].first_polygon = v[0];
        map.cells[c].polygon_count = v[1];
        map.cells[c].third_value = v[2];
    }
    for (int32_t j = 0; j < node_count; ++j) {
        if (!read_node(map, in, j)) {
            return 0;
        }
    }
    return check_tree_shape(map) ? 1 : 0;
}
