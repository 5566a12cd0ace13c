// The client's video mode and renderer in the OpenGL program: nothing is
// opened yet, so the client runs without a screen.
#include "client/client.h"

int Client::init_video() { return 1; }

int Client::set_mode(int32_t, int32_t, int32_t) { return 1; }

int Client::set_mode_fallback(int32_t, int32_t, int32_t) { return 1; }

int Client::init_renderer() { return 1; }

void Client::done_renderer() {}

void Client::set_view_size(float factor) { view_size_ = factor; }

void Client::close_video() {}

void Client::render() { screenshot_ = 0; }
