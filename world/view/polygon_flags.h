#pragma once
// How the world renderer hands a polygon to either program's polygon
// renderer: the flags of add_polygon, from the node test.
#include <cstdint>

constexpr uint32_t POLY_CLIP = 1;        // crosses a side of the view: clip (or test) against the sides
constexpr uint32_t POLY_OCCLUDER = 4;    // enters the clip structures
constexpr uint32_t POLY_HIDDEN_DROP = 8; // dropped when the clip structures hide it

// The side planes of the view that the node test uses: left, right, top, bottom.
constexpr int VIEW_SIDES = 4;
