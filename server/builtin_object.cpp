#include "server/builtin_object.h"

#include "core/kassert.h"
#include "server/object_id.h"
#include "server/server.h"

int32_t object_of(const Server& s, kcontext_t* c, int32_t id)
{
    BUILTIN_CHECK(c, id >= 0);
    BUILTIN_CHECK(c, s.mirror.manager[object_class_of(static_cast<uint32_t>(id))] != nullptr);
    return id;
}

int32_t create_object(Server& s, int object_class, bool transient, std::initializer_list<ObjectProperty> first)
{
    const int32_t id = s.mirror.create(object_class, AUDIENCE_EVERYONE, transient);
    if (id < 0) {
        return id;
    }
    for (const ObjectProperty& p : first) {
        if (s.mirror.set_special(id, p.property, p.args) == 0) {
            s.mirror.destroy(id);
            return -1;
        }
    }
    return id;
}

PropertyValues::PropertyValues(const BuiltinArgs& a, uint32_t first, std::string_view kinds)
{
    K_ASSERT(kinds.size() <= MAX);
    for (const char kind : kinds) {
        const uint32_t k = first + static_cast<uint32_t>(count_);
        SObjArg& v = values_[count_++];
        switch (kind) {
        case 'i':
            v.i = a.i32(k);
            break;
        case 'f':
            v.d = static_cast<double>(a.f32(k));
            break;
        default:
            v.s = a.str(k);
            break;
        }
    }
}

void set_object_cells(Server& s, const BuiltinArgs& a, int property, std::string_view kinds)
{
    const int32_t id = object_of(s, a.context(), a.i32(0));
    s.mirror.set_special(id, property, PropertyValues(a, 1, kinds).args());
}

void destroy_object(Server& s, kcontext_t* c, int32_t id) { s.mirror.destroy(object_of(s, c, id)); }
