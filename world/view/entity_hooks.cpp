#include "world/view/entity_hooks.h"

#include "renderer/poly_renderer.h"
#include "world/view/render_object.h"

namespace {

int meet_record(RenderRecord& record, PolyRenderer& renderer)
{
    RenderObject* const object = record.render_object();
    if (object == nullptr || record.stamp_frame(renderer.frame_number) == 0) {
        return 0;
    }
    object->sphere = {record.position, record.radius};
    if ((object->render_flags & RENDER_TRANSPARENT) != 0) {
        renderer.add_transparent(object);
    } else {
        renderer.add_entity(object);
    }
    return 1;
}

constexpr EntityHooks QUEUED = {meet_record};

} // namespace

const EntityHooks* entity_hooks(int type)
{
    switch (type) {
    case ENTITY_TYPE_SPRITE:
    case ENTITY_TYPE_MESH:
    case ENTITY_TYPE_GLOW:
        return &QUEUED;
    default:
        return nullptr;
    }
}
