#pragma once
// Clipping planes of a moving entity within one tick: each plane (normal n,
// target speed s) asks that the velocity's part along n be s.
#include "core/vector.h"
#include "server/physics_entity.h"

// Drops every held plane whose normal makes a non-negative dot product with
// n (each position tested once; a plane that moves into a freed position is
// not tested again), then appends n with speed s + 0.005. False, with nothing
// appended, when the planes are already full.
bool clip_planes_add(MotionRecord& m, const Vector& n, float s);

// The velocity that meets every held plane: along the one plane, along the
// crease of two, the corner of three; 0 when the planes leave no way (nearly
// parallel creases, a flat corner, four planes).
void clip_planes_apply(const MotionRecord& m, Vector& velocity);
