#pragma once
// The vertex a polygon's triangle fan starts from. Every polygon is drawn
// as one fan from its first vertex; a start whose fan holds a thin sliver
// is avoided by taking the start whose triangles have the largest product
// of areas. The map polygon keeps its own order (the software program and
// the server share it); the OpenGL renderer rotates its copy.
#include "core/vector.h"

#include <cstdint>

// Candidates whose products lie within this share of each other tie, so
// that float rounding of a symmetric polygon does not move its start.
constexpr double FAN_START_TIE = 1e-5;

// For each start s, the product over the fan's triangles (s, s+k, s+k+1)
// of |(v[s+k] - v[s]) x (v[s+k+1] - v[s])|; the start of the largest
// product, the first of those that tie. 0 for fewer than four vertices, for
// a polygon all of whose fans hold a degenerate triangle, and for vertices
// that are not numbers.
int32_t choose_fan_start(const Vector* const* vertices, int32_t count);
