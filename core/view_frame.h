#pragma once
// A camera's view: the world-to-camera transform, one parameter of the holder's,
// and the half extents of the view.
#include "core/matrix.h"
#include "core/placement.h"

class ViewFrame {
public:
    ViewFrame() { reset(); }

    void reset();
    void set_param(float value) { param = value; }
    void set_extents(float x, float y)
    {
        half_x = x;
        half_y = y;
    }
    // view = B A with A = mat_from_angles_inv of source[0] and
    // B = mat_from_angles_alt_inv of source[1].
    void set_from_placement(const AnglePose* source);

    Matrix view;
    float param;
    float half_x;
    float half_y;
};
