#pragma once
// The route graph of a room model ("graph.txt"): one router node in the
// middle of every doorway, one node in the middle of every room, and an edge
// from each doorway to each of its two rooms, passable by every class both
// ways, costing its length. A room is an area whose routers are its doorways;
// a doorway's routers are the other doorways of its two rooms.
#include "tools/mapgen/room_model.h"

#include <string>

namespace mapgen {

std::string write_graph(const RoomModel& model);

// A w x h grid of router nodes 100 apart on the floor, node (x, y) being
// y * w + x, each joined to its right and upper neighbour by an edge of cost
// 1 that every class passes both ways: a graph for tests and benchmarks.
std::string write_grid_graph(int w, int h);

} // namespace mapgen
