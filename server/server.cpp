#include "server/server.h"

Server::Server() = default;

Server::~Server() = default;

int Server::init(Hive* hive, ShareManager* share)
{
    hive_ = hive;
    share_ = share;
    return 1;
}

int Server::frame(double, int shutting_down)
{
    if (clients_in_use_ == 0) {
        return shutting_down != 0 ? 0 : 1;
    }
    return 1;
}
