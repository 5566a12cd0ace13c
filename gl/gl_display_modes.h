#pragma once
// The display modes that the full-screen OpenGL driver may set: those the
// display lists at the window's colour depth, then the standard sizes the
// display accepts that it doesn't list. Built at video start-up.
#include <cstdint>

struct GLDisplayMode {
    int32_t settings_index; // the display's number for the mode, -1 for a standard size
    int32_t width;
    int32_t height;
    int32_t bits_per_pixel;
    int32_t frequency;
    int32_t flags;
};

// 1 on success, 0 when the list can't be allocated.
int video_enumerate_modes();
void video_free_mode_infos();

extern GLDisplayMode* settings_info;
extern int32_t settings_count;
