// The camera builtins act on the camera object the server made for a client.
#include "server/builtin_call.h"
#include "server/builtin_table.h"
#include "server/camera_manager.h"
#include "server/script_glue.h"
#include "server/server.h"

namespace {

int32_t camera_of(Server& s, kcontext_t* c, int32_t client)
{
    const int32_t camera_id = get_client_camera(s, client_of(c, client));
    BUILTIN_CHECK(c, camera_id >= 0);
    return camera_id;
}

} // namespace

DEFINE_BUILTIN(set_camera, 7)
{
    const int32_t camera = camera_of(s, a.context(), a.i32(0));
    s.mirror.set_position(camera, a.vec(1));
    s.mirror.set_angles(camera, a.f32(4), a.f32(5), a.f32(6));
}

DEFINE_BUILTIN(bind_camera, 2)
{
    kcontext_t* const c = a.context();
    const int32_t camera = camera_of(s, c, a.i32(0));
    const int32_t ent = a.i32(1);
    BUILTIN_CHECK(c, s.physics.entity(ent) != nullptr);
    s.mirror.bind(camera, ent);
}

DEFINE_BUILTIN(unbind_camera, 1) { s.mirror.unbind(camera_of(s, a.context(), a.i32(0))); }

DEFINE_BUILTIN(get_camera_position, 1)
{
    Vector v{};
    s.mirror.get_position(camera_of(s, a.context(), a.i32(0)), v);
    builtin_result_vector(a.context(), v);
}

DEFINE_BUILTIN(set_camera_filter, 2)
{
    const SObjArg filter{.i = a.i32(1)};
    s.mirror.set_special(camera_of(s, a.context(), a.i32(0)), PROPERTY_CAMERA_FILTER, SObjArgs(&filter, 1));
}

DEFINE_BUILTIN(set_camera_zoom, 3)
{
    const SObjArg zoom[2] = {{.d = static_cast<double>(a.f32(1))}, {.d = static_cast<double>(a.f32(2))}};
    s.mirror.set_special(camera_of(s, a.context(), a.i32(0)), PROPERTY_CAMERA_ZOOM, SObjArgs(zoom));
}
