#include "core/placement.h"

Placement::Placement() : linked_centre{0.0f, 0.0f, 0.0f}, linked_radius(0.0f) { init(); }

void Placement::reset_transform()
{
    vec_set(position, 0.0f, 0.0f, 0.0f);
    radius = 0.0f;
    centre_lists = nullptr;
    linked_leaves = 0;
}

void Placement::init()
{
    reset_transform();
    mat_identity(transform);
    transform_extra = 0;
}

void Placement::compose_transform(const AnglePose* source)
{
    Matrix m1;
    Matrix m2;
    mat_from_angles(m1, source[0].position, source[0].a, source[0].b, source[0].c);
    mat_from_angles(m2, source[1].position, source[1].a, source[1].b, source[1].c);
    mat_multiply(transform, m1, m2);
    mat_get_translation(position, transform);
}
