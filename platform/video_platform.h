#pragma once
// What the video drivers need of the platform layer: messages, the window's
// shape and repaint request, the cursor and the start-up console.

// Shows a title and a text in the debugging console while it is open,
// otherwise to the user.
void video_show_error(const char* title, const char* text);
// Gives the window a client area of width x height; 0 on success.
int video_set_window_mode(int width, int height, int fullscreen);
// Releases the cursor clip and shows the cursor.
void video_show_cursor();
// 1 once after the window was asked to repaint, else 0.
int video_take_repaint();
// Closes the start-up debugging console.
void video_debug_end();
// The application window, as the DirectDraw cooperative level wants it.
void* video_window_handle();
