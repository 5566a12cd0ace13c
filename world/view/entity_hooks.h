#pragma once
// What the world renderer does with the drawable records linked into the
// cells it traverses: it meets each, and the first meeting of a frame queues
// the record's render object with the polygon renderer, which draws it after
// the opaque surfaces of the frame (transparent ones with the transparent
// surfaces, lamp glows testing their centre against the depths laid by
// then). Entity types without drawing here (lights, BSP models, server
// objects) have no hooks.
#include "world/render_record.h"

class PolyRenderer;

struct EntityHooks {
    // 1 when the record was offered to the polygon renderer (which may still
    // find it hidden); 0 when met already this frame or it draws nothing.
    int (*meet)(RenderRecord& record, PolyRenderer& renderer);
};

// The hooks of an entity type 0..6, or null for a type the renderer does not draw.
const EntityHooks* entity_hooks(int type);
