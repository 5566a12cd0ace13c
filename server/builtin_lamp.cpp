// The lamp builtins: dynamic lamps that scripts make, the map's lamps by
// their index, and the intensity, colour and effect of either.
#include "server/builtin_effects.h"
#include "server/builtin_object.h"
#include "server/lamp_manager.h"
#include "server/object_id.h"
#include "server/server.h"

DEFINE_BUILTIN(create_lamp, 0)
{
    builtin_result_int(a.context(), create_object(s, OBJCLASS_DYNALAMP, false, {}));
}

DEFINE_BUILTIN(register_lamp, 1)
{
    kcontext_t* const c = a.context();
    const int32_t index = a.i32(0);
    BUILTIN_CHECK(c, index >= 0 && index < s.map_lamps.max_objects);
    builtin_result_int(c, s.mirror.id_at(OBJCLASS_MAPLAMP, index));
}

DEFINE_BUILTIN(destroy_lamp, 1) { destroy_object(s, a.context(), a.i32(0)); }

// Eight bits a component.
DEFINE_PROPERTY_BUILTIN(set_lamp_color, PROPERTY_LAMP_COLOR, "i")

DEFINE_PROPERTY_BUILTIN(set_lamp_value, PROPERTY_LAMP_VALUE, "f")

// The effect number, then its four parameters.
DEFINE_PROPERTY_BUILTIN(set_lamp_effect, PROPERTY_LAMP_EFFECT, "iffff")
