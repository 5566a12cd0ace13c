#pragma once
// The map the client has loaded: the client world (textures, geometry,
// lightmaps, the map's lamps and lights, the sky) over the BSP data and
// volumes it shares with a server of the same process ("MapT", "VolT"),
// held from load to close.
#include "world/view/client_world.h"

#include <cstdint>

class ShareManager;
class SharedMap;

class ClientMap {
public:
    ClientMap() = default;
    ~ClientMap() { close_map(); }
    ClientMap(const ClientMap&) = delete;
    ClientMap& operator=(const ClientMap&) = delete;

    // path: "maps/<name>". 1, or 0 when the map cannot be had.
    int load_world(ShareManager* share, const char* path);
    void close_map();

    SharedMap* shared() const { return loaded_ ? world_.map : nullptr; }
    ClientWorld& world() { return world_; }
    uint32_t identifier() const { return identifier_; }

private:
    ClientWorld world_;
    bool loaded_ = false;
    uint32_t identifier_ = 0;
};
