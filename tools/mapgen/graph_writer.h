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

} // namespace mapgen
