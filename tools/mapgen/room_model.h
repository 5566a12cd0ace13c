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
//     tile 64                       drawn polygons split on a grid of this step (default 128)
//     light 128 128 96 3 1 255 200 160 [lamp 2]
//                                   position, range (hundreds of units), intensity 0-1 and
//                                   colour; with a lamp (1-255) the light is baked into that
//                                   switchable lamp's layer instead of the base lightmap
//     sky box                       the sky of info.txt: box or dome (default dome)
//     mover 100 100 0 164 164 64    a BSP model (1, 2, ... in order) drawn as a box; it
//                                   does not collide
//     open hall                     the room's ceiling shows the sky
//     patch hall floor warp         floor, ceiling or walls of a room: warp (water) or scroll
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

struct Light {
    std::array<double, 3> position{};
    double range = 1.0; // hundreds of units
    double intensity = 1.0;
    std::array<int, 3> colour{255, 255, 255};
    int lamp = 0; // 0: baked into the base lightmap
};

enum Surface { SURFACE_FLOOR, SURFACE_CEILING, SURFACE_WALLS, SURFACE_KINDS };
enum PatchKind { PATCH_PLAIN, PATCH_WARP, PATCH_SCROLL, PATCH_SKY };

struct RoomLook {
    std::array<PatchKind, SURFACE_KINDS> patch{PATCH_PLAIN, PATCH_PLAIN, PATCH_PLAIN};
};

struct RoomModel {
    uint32_t map_id = 0;
    double margin = 64.0;
    std::vector<Room> rooms;
    std::vector<Doorway> doors;
    std::vector<std::array<double, 3>> hulls; // empty: the default three
    std::vector<Block> blocks;
    std::vector<TriggerZone> triggers;
    double tile = 128.0;
    bool sky_box = false;
    std::vector<Light> lights;
    std::vector<RoomLook> looks; // one per room
    std::vector<Box> movers;     // BSP models 1, 2, ...
};

// The hull vectors of volume.txt: the model's, or the default three.
std::vector<std::array<double, 3>> hull_vectors(const RoomModel& model);

// False with a message naming the line on any error.
bool parse_room_model(const std::string& text, RoomModel& model, std::string& error);

// Positive-volume (or, on a flat axis, positive-area) overlap of two boxes.
bool boxes_overlap(const Box& a, const Box& b);

} // namespace mapgen
