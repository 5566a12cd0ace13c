#pragma once
// Property ids of the server's classes, (class << 8) + n, and the arguments
// the client's tests give them, for tests that make objects on the engine's
// own server without its headers.
#include "engine_server_access.h"

namespace server_property {

constexpr int LAMP_VALUE = 0x100;
constexpr int LAMP_COLOR = 0x101;
constexpr int LAMP_EFFECT = 0x102;
constexpr int LIGHT_INTENSITY = 0x300;
constexpr int LIGHT_FOCUS = 0x301;
constexpr int LIGHT_LAMP = 0x303;
constexpr int FLARE_INTENSITY = 0x400;
constexpr int FLARE_LAMP = 0x401;
constexpr int FLARE_LIMIT = 0x402;
constexpr int FLARE_COLOR = 0x403;
constexpr int FLARE_STAR = 0x404;
constexpr int FLARE_EFFECTS = 0x405;
constexpr int MESH_MODEL = 0x500;
constexpr int MESH_LIGHTING = 0x501;
constexpr int MESH_POSE = 0x503;
constexpr int SPRITE_NAME = 0x600;
constexpr int PARTICLE_CREATE = 0x800;
constexpr int PARTICLE_COLOR = 0x801;
constexpr int PARTICLE_SIZE = 0x802;
constexpr int PARTICLE_SHRINK = 0x803;
constexpr int PARTICLE_LIFETIME = 0x804;
constexpr int PARTICLE_FLAGS = 0x805;
constexpr int PARTICLE_SPAWN_SPHERE = 0x808;
constexpr int PARTICLE_START = 0x809;
constexpr int CAMERA_FILTER = 0xA00;
constexpr int CAMERA_ZOOM = 0xA01;
constexpr int ICON_NAME = 0xB00;
constexpr int ICON_RECTANGLE = 0xB01;
constexpr int ICON_CLIP = 0xB02;

inline ServerArg i(int32_t v) { return ServerArg{v, 0.0, nullptr}; }
inline ServerArg r(double v) { return ServerArg{0, v, nullptr}; }
inline ServerArg t(const char* s) { return ServerArg{0, 0.0, s}; }

} // namespace server_property
