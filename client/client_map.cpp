#include "client/client_map.h"

#include "core/share_manager.h"
#include "world/shared_map.h"

int ClientMap::load_world(ShareManager* share, const char* path)
{
    close_map();
    if (share == nullptr) {
        return 0;
    }
    identifier_ = 0;
    ShareObject* const o = share->acquire(MAP_SHARE_ID, path, 0, &identifier_);
    if (o == nullptr) {
        return 0;
    }
    share_ = share;
    map_ = static_cast<SharedMap*>(o);
    return 1;
}

void ClientMap::close_map()
{
    if (map_ != nullptr) {
        share_->release(map_);
        map_ = nullptr;
        share_ = nullptr;
    }
}
