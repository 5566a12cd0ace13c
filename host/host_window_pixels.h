#pragma once
// Reads back what the application window shows, for tests and screenshots.
#include <cstdint>

namespace host {

// Pixels of the window's surface in the rectangle (x, y, width, height) as
// 0x00RRGGBB, row after row; false without a window or outside its surface.
bool window_read_pixels(int x, int y, int width, int height, uint32_t* out);

} // namespace host
