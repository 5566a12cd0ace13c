#pragma once
// What the BSP renderer needs of the entities it finds in the cells under
// types 1 (sprites, particle systems), 4 (meshes) and 5 (lamp glows): their
// placement (whose sphere is tested against the view), a frame stamp so that
// an entity linked into many cells is tested once a frame, and the render
// record handed to the polygon renderer. Meshes are given the light lists of
// their centre cell before they are queued.
#include "core/placement.h"

#include <cstdint>

class RenderObject;
struct EntityLink;

constexpr int ENTITY_TYPE_SPRITE = 1;
constexpr int ENTITY_TYPE_MESH = 4;
constexpr int ENTITY_TYPE_GLOW = 5;

class RenderEntity : public Placement {
public:
    virtual RenderObject* render_object() = 0;

    int32_t frame_stamp = -1;
    EntityLink* light_list_a = nullptr; // map lights (type 3) of the centre cell
    EntityLink* light_list_b = nullptr; // lamp lights (type 0) of the centre cell
};
