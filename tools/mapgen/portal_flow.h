#pragma once
// The potentially visible set of every cell by portal flow: from each open
// cell, through each chain of portals that some straight line can pass in
// order. The line's freedom is bounded by the planes that separate the first
// portal of the chain from the last one passed (through an edge of one and a
// corner of the other); the next portal is clipped to them. The clipping
// keeps a small margin, so the result errs on the side of seeing more.
#include "tools/mapgen/bsp_map.h"

#include <cstdint>
#include <vector>

namespace mapgen {

// One bit set per visible cell, cells in order: bit (c & 7) of byte c >> 3.
using CellSet = std::vector<uint8_t>;

// Open cells see themselves and what the flow reaches; solid cells see nothing.
std::vector<CellSet> compute_pvs(const BspMap& map);

inline bool cell_in(const CellSet& set, int cell) { return ((set[static_cast<size_t>(cell) >> 3] >> (cell & 7)) & 1) != 0; }

} // namespace mapgen
