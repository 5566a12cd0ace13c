#pragma once
// What the world renderer does with the drawable records linked into the
// cells it draws: meet each once a frame in the traversal (project: sprites
// and particle systems have nothing to decide, lamp glows test their centre
// against the depth of what is already drawn), then draw those that passed
// after the polygons of their cell. Entity types without drawing here
// (lights, BSP models, server objects) have no hooks.
#include "world/render_record.h"

#include <cstdint>

class ScreenProjection;

struct EntityHooks {
    // 1 when the record is to be drawn this frame; 0 when it was met
    // already this frame or has nothing to show.
    int (*meet)(RenderRecord& record, ScreenProjection& projection);
    void (*draw)(RenderRecord& record, ScreenProjection& projection);
};

// The hooks of an entity type 0..6, or null for a type the renderer does not draw.
const EntityHooks* entity_hooks(int type);
