// The software program's renderer for the client.
#include "client/plain_renderer.h"

#include <new>

ClientRenderer* program_renderer() { return new (std::nothrow) PlainRenderer; }

bool program_has_video() { return true; }
