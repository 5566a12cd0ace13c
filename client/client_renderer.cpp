#include "client/client_renderer.h"

namespace {

ClientRendererFactory factory = nullptr;

} // namespace

ClientRendererFactory client_renderer_factory() { return factory != nullptr ? factory : program_renderer; }

void set_client_renderer_factory(ClientRendererFactory f) { factory = f; }

bool client_has_video() { return factory != nullptr || program_has_video(); }
