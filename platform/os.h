#pragma once
// The platform layer's start and stop: window, debugging console, timers,
// keyboard and mouse.

// 1 on success, 0 on failure.
int os_init(const char* title);
void os_shutdown();
