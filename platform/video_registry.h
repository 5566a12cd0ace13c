#pragma once
// The registry of named video drivers: up to 32 rows, empty until the
// program's video start-up registers its drivers. Names and
// descriptions are kept as pointers and must outlive their use.
#include <cstdint>

class KVideoMode;

using VideoFactory = KVideoMode* (*)();

struct VideoDriverEntry {
    const char* name;
    const char* description;
    uint32_t bits_per_pixel;
    VideoFactory factory;
};

constexpr int VIDEO_MAX_DRIVERS = 32;

// 1 when the name is registered (a row of the same name already there counts,
// unchanged), 0 when the table is full.
int video_register_driver(const char* name, const char* description, uint32_t bits_per_pixel, VideoFactory factory);
// Index of the row whose name matches without regard to ASCII case, or -1.
int video_find_driver(const char* name);
// A new mode object of the row's driver, with no mode set yet; null for a bad
// index, a failed factory or a driver without usable sizes.
KVideoMode* video_create_mode(int index);
void video_destroy_mode(KVideoMode* v_mode);

int video_driver_count();
const VideoDriverEntry* video_driver(int index);
// No rows at all: for a fresh start.
void video_clear_registry();

// Desktop size, measured once at start-up.
extern int32_t desktop_width;
extern int32_t desktop_height;
// 1 on success (a guess of 640 x 480 when the size cannot be read), 0 without a desktop.
int measure_desktop();
