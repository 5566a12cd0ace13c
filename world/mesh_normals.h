#pragma once
// The unit normals that the points of mesh model frames index by number.
#include "core/vector.h"

constexpr int MESH_NORMALS = 162;

extern const Vector mesh_normals[MESH_NORMALS];
