// A renderer object for a program whose screen can't stand behind the
// client yet: the client opens no video mode and runs without a screen.
#include "client/client_renderer.h"

ClientRenderer* program_renderer() { return nullptr; }

bool program_has_video() { return false; }
