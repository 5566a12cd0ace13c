#include "render/entity_hooks.h"

#include "render/screen_projection.h"

namespace {

int meet_record(RenderRecord& record, ScreenProjection& projection)
{
    return record.stamp_frame(projection.frame) != 0 ? record.project(projection) : 0;
}

void draw_record(RenderRecord& record, ScreenProjection& projection) { record.draw(projection); }

constexpr EntityHooks DRAWN = {meet_record, draw_record};

} // namespace

const EntityHooks* entity_hooks(int type)
{
    switch (type) {
    case ENTITY_TYPE_SPRITE:
    case ENTITY_TYPE_MESH:
    case ENTITY_TYPE_GLOW:
        return &DRAWN;
    default:
        return nullptr;
    }
}
