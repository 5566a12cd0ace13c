#pragma once
// Mesh lighting: every light that reaches a mesh is folded, before any
// vertex is lit, into one vector per colour channel: 60 % of the light's
// colour along its direction from the mesh and 40 % as a constant. A vertex
// of camera-space normal N then takes D . N + a in each channel, 1/256 light
// steps, 256 to 32512.
//
// Channels are red, green, blue (byte 0, 1, 2 of the colours); the triangle
// drawers route them to the pixel bytes.
#include "core/matrix.h"
#include "core/vector.h"
#include "world/light_source.h"

#include <cstdint>

constexpr float MESH_LIGHT_MIN = 256.0f;
constexpr float MESH_LIGHT_MAX = 32512.0f;
constexpr float MESH_LIGHT_UNLIT = 16384.0f; // every channel with lighting off

struct MeshLightVector {
    Vector direction; // camera space
    float constant;
};

// The light of one vertex in one channel.
float mesh_vertex_light(const MeshLightVector& v, const Vector& normal);

// Starts the fold from the ambient colour (red in byte 0) x 128.
void mesh_light_start(MeshLightVector out[3], uint32_t ambient);
// Adds one light seen from a mesh centred at `centre`; `view` is the
// world-to-camera transform. A lamp's colour and intensity replace the
// light's colour; a wave lamp lights at half strength, except from the lamp
// list, whose lights always take their lamp's colour (none: skipped).
void mesh_light_add(MeshLightVector out[3], const LightSource& light, const Matrix& view, const Vector& centre,
                    bool lamp_list);
