#pragma once
// The map the client has loaded: the BSP data it shares with a server of the
// same process ("MapT"), held from load to close.
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

    SharedMap* shared() const { return map_; }
    uint32_t identifier() const { return identifier_; }

private:
    ShareManager* share_ = nullptr;
    SharedMap* map_ = nullptr;
    uint32_t identifier_ = 0;
};
