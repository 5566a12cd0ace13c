// The trigger builtins. Those that bring an entity's triggers up to date or
// fire them run the triggers' script functions before they return.
#include "server/builtin_entity.h"
#include "server/builtin_physics.h"
#include "server/server.h"

DEFINE_BUILTIN(register_trigger, 6)
{
    s.physics.register_trigger(a.i32(0), a.u32(1), a.u32(2), a.u32(3), a.u32(4), a.u32(5));
}

DEFINE_BUILTIN(register_box_trigger, 6)
{
    const int32_t ent = required_entity(s, a.context(), a.i32(0));
    s.physics.register_box_trigger(ent, a.u32(1), a.u32(2), a.u32(3), a.u32(4), a.u32(5));
}

DEFINE_BUILTIN(enable_triggers, 1)
{
    const int32_t ent = required_entity(s, a.context(), a.i32(0));
    const KeptResult kept(a.context());
    s.physics.enable_triggers(ent);
}

DEFINE_BUILTIN(disable_triggers, 1)
{
    const int32_t ent = required_entity(s, a.context(), a.i32(0));
    const KeptResult kept(a.context());
    s.physics.disable_triggers(ent);
}

DEFINE_BUILTIN(activate_entity_triggers, 3)
{
    const int32_t ent = required_entity(s, a.context(), a.i32(0));
    const uint32_t mask = a.u32(1);
    const uint32_t value = a.u32(2);
    const KeptResult kept(a.context());
    s.physics.activate_entity_triggers(ent, mask, value);
}

DEFINE_BUILTIN(activate_point_triggers, 5)
{
    const Vector point = a.vec(0);
    const uint32_t mask = a.u32(3);
    const uint32_t value = a.u32(4);
    const KeptResult kept(a.context());
    s.physics.activate_point_triggers(point, mask, value);
}
