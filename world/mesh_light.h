#pragma once
// Mesh lighting: every light that reaches a mesh is folded, before any
// vertex is lit, into one vector per colour channel: 60 % of the light's
// colour along its direction from the mesh and 40 % as a constant. A vertex
// of normal N (in the space the lights were folded in) then takes D . N + a
// in each channel. The software program lights in camera space in 1/256
// light steps, 256 to 32512; the OpenGL program folds in world space and
// scales the vectors by 1/32768 into colours of 0..1.
//
// Channels are red, green, blue (byte 0, 1, 2 of the colours).
#include "core/matrix.h"
#include "core/vector.h"
#include "world/light_source.h"

#include <cstdint>

constexpr float MESH_LIGHT_MIN = 256.0f;
constexpr float MESH_LIGHT_MAX = 32512.0f;
constexpr float MESH_LIGHT_UNLIT = 16384.0f; // every channel with lighting off

struct MeshLightVector {
    Vector direction; // in the space of the fold
    float constant;
};

// The light of one vertex in one channel, in the software program's steps.
float mesh_vertex_light(const MeshLightVector& v, const Vector& normal);

// Starts the fold from the ambient colour (red in byte 0) x 128.
void mesh_light_start(MeshLightVector out[3], uint32_t ambient);
// Adds one light seen from a mesh centred at `centre`; `view` is the
// rotation into the space of the fold (world-to-camera, or the identity). A
// lamp's colour and intensity replace the light's colour; a wave lamp
// lights at half strength, except from the lamp list, whose lights always
// take their lamp's colour (none: skipped).
void mesh_light_add(MeshLightVector out[3], const LightSource& light, const Matrix& view, const Vector& centre,
                    bool lamp_list);
