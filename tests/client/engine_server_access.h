#pragma once
// What the client's tests need of the engine's server, from a file of their
// own: the server's header and the client's inner headers name the wire
// alike and never meet in one file.
#include <cstdint>

class Engine;

struct ServerSlot {
    bool spawned = false;
    float forward = 0.0f;    // the first analog input
    int32_t input_stamp = -1; // the newest update the client acknowledged
    int32_t camera_id = -1;
};

// Starts the map as the server's Map command does; true on success.
bool start_server_map(Engine& engine, const char* name);
// The first spawned client slot.
ServerSlot spawned_slot(Engine& engine);
