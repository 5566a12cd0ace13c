#pragma once
// The engine's client slots, from a file of their own: the server's and the
// client's headers name the wire alike and never meet in one file.
#include <string>

class Engine;

int server_slot_count();
// The name of the client in the slot, empty when the slot is free.
std::string server_slot_holder(Engine& engine, int slot);
