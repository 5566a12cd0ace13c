#pragma once
// The map description: axis-aligned box rooms of open space, joined by
// doorways in the walls they share; everything else is solid.
//
//     # comment (to the end of any line)
//     id 0x1a2b                     map identifier of every file (default 0: none)
//     margin 64                     solid around the rooms (default 64)
//     room hall 0 0 0 512 256 128   name, then two opposite corners
//     door hall side 512 96 0 512 160 96
//     hull 16 16 28                 a hull tree of volume.txt (default: 0 0 0, 8 8 8, 16 16 28)
//     block 100 100 0 140 140 128   solid in volume.txt only; an optional contents follows
//     stairs 0 0 0 64 128 32 4 +x   4 solid steps rising toward +x (or -x, +y, -y)
//     trigger 3 0 0 0 64 64 64      leaves inside the box list trigger 3 in volume.txt
//
// A door is a rectangle flat on one axis, lying on the wall where its two
// rooms touch and inside both rooms' faces. Coordinates are floats within
// +-1e6; rooms may not overlap, doors between the same rooms may not overlap.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

struct Box {
    std::array<double, 3> lo{};
    std::array<double, 3> hi{};
};

struct Room {
    std::string name;
    Box box;
};

struct Doorway {
    int a = 0;    // rooms
    int b = 0;
    int axis = 0; // the flat one
    Box box;      // lo[axis] == hi[axis]
};

// Contents of volume leaves: open space, and what blocks default to.
constexpr int32_t VOLUME_AIR = 1;
constexpr int32_t VOLUME_SOLID = 0x2180;

struct Block {
    Box box;
    int32_t contents = VOLUME_SOLID;
};

struct TriggerZone {
    int32_t number = 0;
    Box box;
};

struct RoomModel {
    uint32_t map_id = 0;
    double margin = 64.0;
    std::vector<Room> rooms;
    std::vector<Doorway> doors;
    std::vector<std::array<double, 3>> hulls; // empty: the default three
    std::vector<Block> blocks;
    std::vector<TriggerZone> triggers;
};

// The hull vectors of volume.txt: the model's, or the default three.
std::vector<std::array<double, 3>> hull_vectors(const RoomModel& model);

// False with a message naming the line on any error.
bool parse_room_model(const std::string& text, RoomModel& model, std::string& error);

// Positive-volume (or, on a flat axis, positive-area) overlap of two boxes.
bool boxes_overlap(const Box& a, const Box& b);

} // namespace mapgen
