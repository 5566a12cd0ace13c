// The builtins of dynamic lights and lens flares. Both may follow a lamp,
// and a script that names anything else for one has lost track of its ids.
#include "server/builtin_effects.h"
#include "server/builtin_object.h"
#include "server/dyn_light_manager.h"
#include "server/lamp_reference.h"
#include "server/lens_flare_manager.h"
#include "server/object_id.h"

DEFINE_BUILTIN(create_light, 1)
{
    kcontext_t* const c = a.context();
    const int32_t lamp_id = a.i32(0);
    BUILTIN_CHECK(c, lamp_id >= 0);
    BUILTIN_CHECK(c, is_lamp_id(static_cast<uint32_t>(lamp_id)));
    const PropertyValues lamp(a, 0, "i");
    builtin_result_int(c, create_object(s, OBJCLASS_DYNLIGHT, false, {{PROPERTY_LIGHT_LAMP, lamp.args()}}));
}

DEFINE_PROPERTY_BUILTIN(set_light_intensity, PROPERTY_LIGHT_INTENSITY, "f")

DEFINE_PROPERTY_BUILTIN(set_light_max, PROPERTY_LIGHT_MAX, "f")

DEFINE_PROPERTY_BUILTIN(set_light_focus, PROPERTY_LIGHT_FOCUS, "f")

DEFINE_BUILTIN(create_lensflare, 0)
{
    builtin_result_int(a.context(), create_object(s, OBJCLASS_LENSFLARE, false, {}));
}

// A lamp, or OBJID_UNUSED for none.
DEFINE_BUILTIN(set_lensflare_lamp, 2)
{
    const int32_t lamp_id = a.i32(1);
    BUILTIN_CHECK(a.context(), lamp_id == OBJID_UNUSED || is_lamp_id(static_cast<uint32_t>(lamp_id)));
    set_object_cells(s, a, PROPERTY_LENSFLARE_LAMP, "i");
}

DEFINE_PROPERTY_BUILTIN(set_lensflare_color, PROPERTY_LENSFLARE_COLOR, "i")

DEFINE_PROPERTY_BUILTIN(set_lensflare_intensity, PROPERTY_LENSFLARE_INTENSITY, "f")

DEFINE_PROPERTY_BUILTIN(set_lensflare_limit, PROPERTY_LENSFLARE_LIMIT, "f")

// Two star sizes, the long streaks, a third size, the short streaks.
DEFINE_PROPERTY_BUILTIN(set_lensflare_star, PROPERTY_LENSFLARE_STAR, "ffifi")

DEFINE_PROPERTY_BUILTIN(set_lensflare_effects, PROPERTY_LENSFLARE_EFFECTS, "ffffff")
