#include "server/server_client.h"

#include "core/kassert.h"

ServerClient::ServerClient() { clear(); }

ServerClient::~ServerClient()
{
    socket = nullptr;
    camera_id = -1;
    clear();
    objects.free();
}

void ServerClient::clear()
{
    K_ASSERT(socket == nullptr);
    K_ASSERT(camera_id == -1);
    state = SCSTATE_FREE;
    name[0] = '\0';
    cps = 0;
    flags = 0;
    rate = 0;
    update_interval = 0.0;
    rate_time = 0.0;
    ack_time = 0.0;
    logout_time = 0.0;
    error_time = 0.0;
    errors_held = 0;
    reset();
}

void ServerClient::reset()
{
    input_stamp = -1;
    camera_id = -1;
    for (float& a : analog) {
        a = 0.0f;
    }
    accumulated_state = 0;
    current_state = 0;
    impulse_count = 0;
    next_update_time = 0.0;
    group = 0;
    input_latch = 1;
    objects.free();
}
