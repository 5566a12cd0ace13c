#pragma once
// The DirectDraw device table: up to 8 display devices found at start-up,
// each with its drivers' names and descriptions (which the registry points
// into), its DirectDraw2 interface, video memory and display modes by depth.
#include "host/host_ddraw.h"
#include "soft/video_depth.h"
#include "soft/xmode_info.h"

#include <cstdint>

class KVideoMode;

constexpr int DDRAW_MAX_DEVICES = 8;
constexpr int DDRAW_DEPTHS = VIDEO_DEPTHS;
constexpr int DDRAW_NAME_SIZE = 10;
constexpr int DDRAW_DESCRIPTION_SIZE = 50;

struct DDrawDevice {
    char names[DDRAW_DEPTHS][2][DDRAW_NAME_SIZE];               // [depth index][laced]
    char descriptions[DDRAW_DEPTHS][2][DDRAW_DESCRIPTION_SIZE]; // [depth index][laced]
    host::ddraw::DirectDraw2* ddraw;
    uint32_t video_memory; // bytes
    XModeInfo* modes[DDRAW_DEPTHS]; // DDrawModeInfo records
};

extern DDrawDevice ddraw_devices[DDRAW_MAX_DEVICES];
extern int ddraw_device_count;

// The driver factory of (device, depth index, laced), at device * 8 + depth * 2 + laced.
using DDrawFactory = KVideoMode* (*)();
DDrawFactory ddraw_factory(int index);
