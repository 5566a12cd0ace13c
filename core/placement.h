#pragma once
// The placement record that objects living in the world put first: the
// bounding sphere, what it was last linked with, and the object-to-world
// transform. Holders give the entity type and may visit.
#include "core/matrix.h"

#include <cstdint>

// A position and three angles in radians; holders keep two of them, one after
// the other, and the transform is built from both.
struct AnglePose {
    Vector position;
    float a, b, c;
};

class Placement {
public:
    Placement();
    virtual ~Placement() = default;

    virtual int entity_type() const = 0;
    virtual void visit(uint32_t) {}
    // transform = M1 M2 with Mi = mat_from_angles of source[i]; the position
    // becomes the translation of the product.
    virtual void compose_transform(const AnglePose* source);

    // Clears the placement fields; linked_centre and linked_radius are the holder's.
    void reset_transform();
    // As reset_transform, and the transform becomes the identity.
    void init();
    void reset() { init(); }

    Vector position;
    float radius;
    Vector linked_centre; // the sphere with which the current links were made
    float linked_radius;
    void* centre_lists;   // the list heads of the cell holding the centre, or null
    int32_t linked_leaves;
    Matrix transform;
    int32_t transform_extra;
};
