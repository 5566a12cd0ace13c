#include "server_slots.h"

#include "engine/engine.h"
#include "server/server.h"

int server_slot_count() { return SERVER_MAXCLIENTS; }

std::string server_slot_holder(Engine& engine, int slot)
{
    const ServerClient& sc = engine.server()->client[slot];
    return sc.state != SCSTATE_FREE ? sc.name : "";
}
