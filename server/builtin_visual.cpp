// Visible objects from scripts: creation for every client, the carrier and
// the place on it, the audience and destruction, through the mirror.
#include "server/builtin_visual.h"

#include "server/builtin_call.h"
#include "server/object_id.h"
#include "server/server.h"

int32_t visual_of(kcontext_t* c, int32_t visual_id)
{
    BUILTIN_CHECK(c, visual_id >= 0);
    return visual_id;
}

int32_t managed_visual_of(Server& s, kcontext_t* c, int32_t visual_id)
{
    visual_of(c, visual_id);
    const SObjManager* const class_manager = s.mirror.manager[object_class_of(static_cast<uint32_t>(visual_id))];
    BUILTIN_CHECK(c, class_manager != nullptr);
    return visual_id;
}

namespace {

// An object of the class for every client, named by its first property; a
// class that refuses the name leaves no object: -1.
int32_t create_named(Server& s, int object_class, int property, const char* name)
{
    const int32_t id = s.mirror.create(object_class, AUDIENCE_EVERYONE, false);
    if (id < 0) {
        return id;
    }
    const SObjArg arg{.s = name};
    if (s.mirror.set_special(id, property, SObjArgs(&arg, 1)) == 0) {
        s.mirror.destroy(id);
        return -1;
    }
    return id;
}

} // namespace

DEFINE_BUILTIN(create_mesh_model, 1)
{
    builtin_result_int(a.context(), create_named(s, OBJCLASS_MESH, PROPERTY_MESH_MODEL, a.str(0)));
}

DEFINE_BUILTIN(create_sprite, 1)
{
    builtin_result_int(a.context(), create_named(s, OBJCLASS_SPRITE, PROPERTY_SPRITE_NAME, a.str(0)));
}

// The map load made the BSP objects; a script only asks for the one of a model.
DEFINE_BUILTIN(create_bsp_model, 1)
{
    kcontext_t* const c = a.context();
    const SObjManager* const bsp_objects = s.mirror.manager[OBJCLASS_BSP];
    BUILTIN_CHECK(c, bsp_objects != nullptr);
    const int32_t model = a.i32(0);
    BUILTIN_CHECK(c, model >= 0 && model < bsp_objects->max_objects);
    builtin_result_int(c, s.mirror.id_at(OBJCLASS_BSP, model));
}

DEFINE_BUILTIN(bind_visual, 2)
{
    kcontext_t* const c = a.context();
    const int32_t id = managed_visual_of(s, c, a.i32(0));
    const PhysicalEntity* const ent = s.physics.entity(a.i32(1));
    BUILTIN_CHECK(c, ent);
    s.mirror.bind(id, a.i32(1));
}

DEFINE_BUILTIN(unbind_visual, 1) { s.mirror.unbind(managed_visual_of(s, a.context(), a.i32(0))); }

DEFINE_BUILTIN(reset_interpolation, 1)
{
    s.mirror.reset_interpolation(managed_visual_of(s, a.context(), a.i32(0)));
}

DEFINE_BUILTIN(set_visual_position, 4) { s.mirror.set_position(managed_visual_of(s, a.context(), a.i32(0)), a.vec(1)); }

DEFINE_BUILTIN(set_visual_angles, 4)
{
    s.mirror.set_angles(managed_visual_of(s, a.context(), a.i32(0)), a.f32(1), a.f32(2), a.f32(3));
}

DEFINE_BUILTIN(set_visual_client, 2) { s.mirror.set_audience(managed_visual_of(s, a.context(), a.i32(0)), a.i32(1)); }

DEFINE_BUILTIN(destroy_visual, 1) { s.mirror.destroy(managed_visual_of(s, a.context(), a.i32(0))); }
