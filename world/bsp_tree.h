#pragma once
// The records of the map's BSP tree: nodes with their splitting planes, the
// leaves (cells) with their packed PVS and entity lists, and the links that
// put an entity into a cell's list.
#include "core/placement.h"
#include "core/vector.h"

#include <cstdint>

constexpr int L_ENTITY_TYPES = 7;

struct EntityLink {
    Placement* entity;
    EntityLink* next;
};

struct Cell {
    int32_t first_polygon = 0;
    int32_t polygon_count = 0;
    int32_t third_value = 0; // kept as the file gives it
    Sphere sphere = {{0.0f, 0.0f, 0.0f}, 0.0f};
    const uint8_t* pvs = nullptr; // packed; null: the cell sees every cell
    uint32_t visible = 1;         // in the PVS unpacked last
    EntityLink* lists[L_ENTITY_TYPES] = {};
};

struct BspNode;

// A child is a node or a cell, as the node's flags tell.
union BspChild {
    BspNode* node;
    Cell* cell;
};

constexpr uint32_t BSP_FRONT_NODE = 1;
constexpr uint32_t BSP_BACK_NODE = 2;
constexpr uint32_t BSP_VISIBLE = 4; // some cell below is visible in the PVS unpacked last

struct BspNode {
    int32_t index = 0;
    const Plane* plane = nullptr;
    Sphere sphere = {{0.0f, 0.0f, 0.0f}, 0.0f}; // of the whole subtree
    BspChild front = {nullptr};
    BspChild back = {nullptr};
    uint32_t flags = BSP_VISIBLE;
};
