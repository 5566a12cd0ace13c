#include "core/view_frame.h"

void ViewFrame::reset()
{
    mat_identity(view);
    param = 0.0f;
    half_x = 0.5f;
    half_y = 0.375f;
}

void ViewFrame::set_from_placement(const AnglePose* source)
{
    Matrix a;
    Matrix b;
    mat_from_angles_inv(a, source[0].position, source[0].a, source[0].b, source[0].c);
    mat_from_angles_alt_inv(b, source[1].position, source[1].a, source[1].b, source[1].c);
    mat_multiply(view, b, a);
}
