#pragma once
// The collision volume of a generated map, one hull tree per hull vector: a
// point walked through tree h is in solid exactly where a box of half size h
// around it would meet solid. Solid is everything outside the rooms, the
// walls between rooms (less their doors) and the blocks; trigger zones widen
// the same way. Every tree splits space on axis planes until each leaf lies
// wholly inside or outside every box.
#include "tools/mapgen/bsp_map.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mapgen {

// Walls between rooms have no thickness in the room model; in the volume
// they are at least this far thick on each side.
constexpr double WALL_HALF_THICKNESS = 0.5;

struct VolumeNode {
    int axis = 0;       // plane normal +axis, d = -coord: front holds coord > the plane's
    double coord = 0.0;
    uint32_t front = 0; // node index, or CHILD_CELL | leaf index
    uint32_t back = 0;
};

struct VolumeLeaf {
    int32_t contents = VOLUME_AIR;
    std::vector<int32_t> triggers; // ascending
    Box box;                       // the leaf's region, for the check
};

struct VolumeTreeMap {
    std::array<double, 3> hull{};
    uint32_t root = 0; // node index, or CHILD_CELL | leaf index
    Box region;        // the model's box widened twice by the hull
    size_t first_leaf = 0; // the tree's leaves: first_leaf .. end_leaf - 1
    size_t end_leaf = 0;
    size_t open_leaf = 0;  // a leaf of open space, the root of every mover
};

struct VolumeMap {
    Box model_box; // the world box of the map, as volume.txt names it
    std::vector<VolumeTreeMap> trees;
    std::vector<VolumeNode> nodes; // of every tree
    std::vector<VolumeLeaf> leaves;
    std::vector<Box> movers;
};

// A box of the volume with what fills it.
struct VolumeBox {
    Box box;
    int32_t contents = VOLUME_SOLID; // or the trigger number of a zone
};

// The solid boxes and trigger zones for one hull, widened by it.
void volume_boxes(const RoomModel& model, const BspMap& map, const std::array<double, 3>& hull,
                  std::vector<VolumeBox>& solids, std::vector<VolumeBox>& zones);

VolumeMap build_volume(const RoomModel& model, const BspMap& map);

} // namespace mapgen
