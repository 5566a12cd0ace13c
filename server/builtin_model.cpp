// A mesh object's model from scripts: its sizes, poses, animation, lighting
// and tags. Queries answer their defaults for any id that is not a live mesh
// object with a model; setters go through the class's properties.
#include "core/print.h"
#include "server/builtin_call.h"
#include "server/builtin_visual.h"
#include "server/object_id.h"
#include "server/server.h"

namespace {

uint32_t model_query_id(kcontext_t* c, int32_t visual_id) { return static_cast<uint32_t>(visual_of(c, visual_id)); }

// The tag's value copied into its cell of the export region, where scripts
// read it: one cell per tag of each model, so the reference stays for the map.
uint32_t export_tag(Server& s, const MetaModel& model, int32_t tag)
{
    const int32_t slot = s.meshes.index_of(&model);
    if (slot < 0 || slot >= MESH_MODEL_MAX || tag >= SCRIPT_TAGS_PER_MODEL) {
        print_format(P_WARNING, "Server: Tag '%s' of '%s' is beyond what scripts can read", model.tag[tag].name,
                     model.name);
        return 0;
    }
    const uint32_t at =
        s.k_exports.tags + 4 * (static_cast<uint32_t>(slot) * SCRIPT_TAGS_PER_MODEL + static_cast<uint32_t>(tag));
    k_store32(s.k_context, at, static_cast<uint32_t>(model.tag[tag].value));
    return at;
}

} // namespace

DEFINE_BUILTIN(get_size, 1)
{
    builtin_result_vector(a.context(), s.mesh_objects.size_of(model_query_id(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(get_hook, 1)
{
    builtin_result_vector(a.context(), s.mesh_objects.hook_of(model_query_id(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(get_model_point, 2)
{
    builtin_result_vector(a.context(), s.mesh_objects.model_point(model_query_id(a.context(), a.i32(0)), a.i32(1)));
}

DEFINE_BUILTIN(get_model_poses, 1)
{
    builtin_result_int(a.context(), s.mesh_objects.pose_count_of(model_query_id(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(set_model_animation, 4)
{
    kcontext_t* const c = a.context();
    builtin_result_float(c, s.mesh_objects.set_animation(model_query_id(c, a.i32(0)), a.i32(1), a.f32(2), a.i32(3)));
}

DEFINE_BUILTIN(get_model_tag, 2)
{
    kcontext_t* const c = a.context();
    const MetaModel* const model = s.mesh_objects.model_of(model_query_id(c, a.i32(0)));
    const char* const name = a.str(1);
    const int32_t tag = model != nullptr ? model->find_tag_index(name) : -1;
    builtin_result(c, tag >= 0 ? export_tag(s, *model, tag) : 0);
}

DEFINE_BUILTIN(set_model_pose, 4)
{
    const int32_t id = managed_visual_of(s, a.context(), a.i32(0));
    const SObjArg pose[3] = {{.i = a.i32(1)}, {.i = a.i32(2)}, {.d = static_cast<double>(a.f32(3))}};
    s.mirror.set_special(id, PROPERTY_MESH_POSE, SObjArgs(pose));
}

DEFINE_BUILTIN(set_model_lighting, 4)
{
    const int32_t id = managed_visual_of(s, a.context(), a.i32(0));
    const SObjArg light[3] = {
        {.i = a.i32(1)}, {.d = static_cast<double>(a.f32(2))}, {.d = static_cast<double>(a.f32(3))}};
    s.mirror.set_special(id, PROPERTY_MESH_LIGHTING, SObjArgs(light));
}

DEFINE_BUILTIN(set_model_transparency, 2)
{
    const int32_t id = managed_visual_of(s, a.context(), a.i32(0));
    const SObjArg transparency{.d = static_cast<double>(a.f32(1))};
    s.mirror.set_special(id, PROPERTY_MESH_TRANSPARENCY, SObjArgs(&transparency, 1));
}
