#pragma once
// Stand-in for the route graph until graph.txt is read: every map has an
// empty graph.
#include <cstdint>

class MapRoute {
public:
    MapRoute() = default;
    MapRoute(const MapRoute&) = delete;
    MapRoute& operator=(const MapRoute&) = delete;

    // 1 on success.
    int load(const char* directory, uint32_t map_id);
    void free();

    int32_t node_count() const { return 0; }
    bool loaded() const { return loaded_; }

private:
    bool loaded_ = false;
};
