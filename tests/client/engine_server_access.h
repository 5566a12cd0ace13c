#pragma once
// What the client's tests need of the engine's server, from a file of their
// own: the server's header and the client's inner headers name the wire
// alike and never meet in one file.
#include <cstdint>
#include <initializer_list>

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

// One argument of an object property: an integer, a real or a text.
struct ServerArg {
    int32_t i = 0;
    double d = 0.0;
    const char* s = nullptr;
};
// The server's objects, as its scripts make them: a new object of the class
// for everyone (its id, or -1), the id at a class's index (map lamps), a
// property (1 or 0), a position, a removal.
int32_t server_create(Engine& engine, int object_class);
int32_t server_object_at(Engine& engine, int object_class, int32_t index);
int server_set(Engine& engine, int32_t id, int property, std::initializer_list<ServerArg> args);
void server_place(Engine& engine, int32_t id, float x, float y, float z);
void server_destroy(Engine& engine, int32_t id);
void server_turn(Engine& engine, int32_t id, float a, float b, float c);
// One frame of the server alone, at the engine's time now.
void server_frame(Engine& engine);
// Plays a mesh object's cycle at a speed, as the animation builtin does;
// the cycle's duration divided by the speed, or 0.
float server_animate(Engine& engine, int32_t id, int32_t cycle, float speed);
