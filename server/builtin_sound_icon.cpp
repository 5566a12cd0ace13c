// The builtins of sound sources and screen icons.
#include "server/builtin_effects.h"
#include "server/builtin_object.h"
#include "server/icon_manager.h"
#include "server/object_id.h"
#include "server/sound_source_manager.h"

// Flag bit of "@create_sound": a source that the server removes by itself.
constexpr int32_t SOUND_TRANSIENT = 2;

DEFINE_BUILTIN(create_sound, 2)
{
    const PropertyValues name(a, 0, "s");
    const PropertyValues flags(a, 1, "i");
    const bool transient = (a.i32(1) & SOUND_TRANSIENT) != 0;
    builtin_result_int(a.context(), create_object(s, OBJCLASS_SOUND, transient,
                                                  {{PROPERTY_SOUND_NAME, name.args()},
                                                   {PROPERTY_SOUND_MODE, flags.args()}}));
}

DEFINE_PROPERTY_BUILTIN(set_sound_frequency, PROPERTY_SOUND_FREQUENCY, "f")

// Near distance, near level, far distance, far level.
DEFINE_PROPERTY_BUILTIN(set_sound_attenuation, PROPERTY_SOUND_ATTENUATION, "ffff")

// The rectangle x1, y1, x2, y2.
DEFINE_BUILTIN(create_icon, 4)
{
    const PropertyValues rectangle(a, 0, "iiii");
    builtin_result_int(a.context(),
                       create_object(s, OBJCLASS_ICON, false, {{PROPERTY_ICON_RECTANGLE, rectangle.args()}}));
}

DEFINE_BUILTIN(destroy_icon, 1) { destroy_object(s, a.context(), a.i32(0)); }

DEFINE_PROPERTY_BUILTIN(set_icon_name, PROPERTY_ICON_NAME, "s")

DEFINE_PROPERTY_BUILTIN(set_icon_clip, PROPERTY_ICON_CLIP, "i")
