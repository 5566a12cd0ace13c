#pragma once
// The map as the generator builds it: a BSP tree over all of space whose
// leaves (cells) are boxes, each inside one room or solid; the planes the
// nodes and walls lie on; the wall polygons of every open cell; and the
// portals through which open cells see each other (a whole shared face
// inside a room, a doorway between rooms).
#include "tools/mapgen/room_model.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mapgen {

using Point = std::array<double, 3>;

constexpr uint32_t CHILD_CELL = 0x80000000u;

// The planes, each facing +axis (normal e_axis, d = -coord), in file order.
// A plane facing -axis is the opposite, index + size().
class PlaneTable {
public:
    struct Entry {
        int axis;
        double coord;
    };
    int index(int axis, double coord);
    const std::vector<Entry>& entries() const { return entries_; }
    int size() const { return static_cast<int>(entries_.size()); }

private:
    std::vector<Entry> entries_;
};

struct BspNode {
    int plane = 0;        // index in the table, facing +axis: front holds coord >= plane's
    uint32_t front = 0;   // node index, or CHILD_CELL | cell index
    uint32_t back = 0;
    Box box;              // the node's region
    Box front_box;
    Box back_box;
};

struct BspCell {
    Box box;
    int room = -1; // -1: solid
    int first_polygon = 0;
    int polygon_count = 0;
};

// A wall rectangle of an open cell, facing into the cell.
struct WallPolygon {
    int cell = 0;
    int plane = 0;         // in the table
    bool opposite = false; // facing -axis: the file names plane + table size
    std::array<Point, 4> corners{};
};

// An opening between two open cells, a rectangle flat on `axis` at `coord`;
// back_cell lies below the plane, front_cell above.
struct Portal {
    int axis = 0;
    double coord = 0.0;
    Box box;
    int back_cell = 0;
    int front_cell = 0;
};

struct BspMap {
    Box world; // the rooms with the margin around them; the root's region
    PlaneTable planes;
    std::vector<BspNode> nodes; // nodes[0] is the root
    std::vector<BspCell> cells;
    std::vector<WallPolygon> polygons; // grouped by cell, in cell order
    std::vector<Portal> portals;
    // The movers, BSP models 1, 2, ... placed at the origin, and the six
    // outward faces of each (cell -1), mover by mover.
    std::vector<Box> movers;
    std::vector<WallPolygon> mover_walls;
};

// Rectangles {u0, u1, v0, v1} covering the face minus the open rectangles: a
// grid over every edge coordinate, wall squares merged into rows, rows into
// blocks.
std::vector<std::array<double, 4>> wall_rectangles(const std::array<double, 4>& face,
                                                    const std::vector<std::array<double, 4>>& open);

// Splits space along room faces until every region is inside one room or in
// none, then finds the portals and the walls.
BspMap build_bsp(const RoomModel& model);

} // namespace mapgen
