#include "client/client_map.h"

int ClientMap::load_world(ShareManager* share, const char* path)
{
    close_map();
    if (share == nullptr) {
        return 0;
    }
    identifier_ = 0;
    if (::load_world(world_, share, path, &identifier_) == 0) {
        world_.close_map();
        return 0;
    }
    loaded_ = true;
    return 1;
}

void ClientMap::close_map()
{
    world_.close_map();
    loaded_ = false;
}
