#include "engine_server_access.h"

#include "engine/engine.h"
#include "server/server.h"

bool start_server_map(Engine& engine, const char* name) { return engine.server()->start_map(name, nullptr) == 1; }

ServerSlot spawned_slot(Engine& engine)
{
    const Server& s = *engine.server();
    for (int c = 0; c < SERVER_MAXCLIENTS; ++c) {
        const ServerClient& sc = s.client[c];
        if (sc.state == SCSTATE_SPAWNED) {
            return {true, sc.analog[0], sc.input_stamp, sc.camera_id};
        }
    }
    return {};
}
