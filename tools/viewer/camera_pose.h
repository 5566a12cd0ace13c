#pragma once
// A camera pose as the tools and tests give it: a position, a yaw about the
// world's z axis (0 looks along +x, a quarter turn along +y) and a pitch
// (positive looks up), in radians, made into the view record the screen
// projection reads (camera x right, y down, z forward).
#include "core/view_frame.h"

#include <cmath>

inline void set_camera(ViewFrame& view, const Vector& position, float yaw, float pitch)
{
    const Vector forward{std::cos(pitch) * std::cos(yaw), std::cos(pitch) * std::sin(yaw), std::sin(pitch)};
    const Vector right{std::sin(yaw), -std::cos(yaw), 0.0f};
    Vector down;
    vec_cross(forward, right, down);
    const Vector rows[3] = {right, down, forward};
    for (int r = 0; r < 3; ++r) {
        view.view.m[4 * r] = rows[r].x;
        view.view.m[4 * r + 1] = rows[r].y;
        view.view.m[4 * r + 2] = rows[r].z;
        view.view.m[4 * r + 3] = -vec_dot(rows[r], position);
    }
}
