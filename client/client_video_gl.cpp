// The OpenGL program's renderer for the client: none yet, so the client
// opens no video mode and runs without a screen.
#include "client/client_renderer.h"

ClientRenderer* program_renderer() { return nullptr; }

bool program_has_video() { return false; }
