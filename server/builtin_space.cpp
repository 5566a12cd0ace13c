// The builtins that ask the physics about space: materials at points, ray
// casts, entity searches, and the volumes entities carry.
#include "server/builtin_entity.h"
#include "server/builtin_physics.h"
#include "server/script_glue.h"
#include "server/server.h"

namespace {

// The hit record "@cast_ray" fills, in cells. A host pointer cannot reach a
// script, so the entity hit is given by its number, -1 for the map.
constexpr uint32_t HIT_OBJECT = 0;
constexpr uint32_t HIT_CONTENTS = 1;
constexpr uint32_t HIT_FRACTION = 2;
constexpr uint32_t HIT_POINT = 3;
constexpr uint32_t HIT_NORMAL = 6;
constexpr uint32_t HIT_CLEARED = 9; // three words a cast clears
constexpr uint32_t HIT_ENTITY = 12;
constexpr uint32_t HIT_NORMAL_VALID = 13;
constexpr uint32_t HIT_CELLS = 14;

class HitRecord {
public:
    HitRecord(kcontext_t* c, uint32_t address) : bytes_(script_bytes(c, address)) {}

    // What a cast leaves alone stays as the script had it.
    void read(RayHit& hit) const
    {
        hit.contents = static_cast<int32_t>(cell(HIT_CONTENTS));
        hit.fraction = std::bit_cast<float>(cell(HIT_FRACTION));
        hit.point = vector(HIT_POINT);
        hit.normal = vector(HIT_NORMAL);
        hit.normal_valid = static_cast<int32_t>(cell(HIT_NORMAL_VALID));
    }
    void write(const RayHit& hit)
    {
        set(HIT_OBJECT, hit.object);
        set(HIT_CONTENTS, static_cast<uint32_t>(hit.contents));
        set(HIT_FRACTION, std::bit_cast<uint32_t>(hit.fraction));
        set_vector(HIT_POINT, hit.point);
        set_vector(HIT_NORMAL, hit.normal);
        for (uint32_t k = 0; k < 3; ++k) {
            set(HIT_CLEARED + k, 0);
        }
        set(HIT_ENTITY, static_cast<uint32_t>(hit.entity != nullptr ? hit.entity->number : -1));
        set(HIT_NORMAL_VALID, static_cast<uint32_t>(hit.normal_valid));
    }

private:
    // Only what scripts may write themselves.
    static uint8_t* script_bytes(kcontext_t* c, uint32_t address)
    {
        if (address < K_SCRIPT_LOW) {
            k_bad_address(c, address, 4 * HIT_CELLS);
        }
        return k_bytes(c, address, 4 * HIT_CELLS);
    }
    uint32_t cell(uint32_t k) const
    {
        uint32_t v;
        std::memcpy(&v, bytes_ + 4 * k, 4);
        return v;
    }
    Vector vector(uint32_t k) const
    {
        return {std::bit_cast<float>(cell(k)), std::bit_cast<float>(cell(k + 1)), std::bit_cast<float>(cell(k + 2))};
    }
    void set(uint32_t k, uint32_t v) { std::memcpy(bytes_ + 4 * k, &v, 4); }
    void set_vector(uint32_t k, const Vector& v)
    {
        set(k, std::bit_cast<uint32_t>(v.x));
        set(k + 1, std::bit_cast<uint32_t>(v.y));
        set(k + 2, std::bit_cast<uint32_t>(v.z));
    }

    uint8_t* bytes_;
};

int32_t cursor_of(kcontext_t* c, int32_t cursor)
{
    BUILTIN_CHECK(c, cursor < PHYS_FIND_CURSORS);
    return cursor;
}

} // namespace

DEFINE_BUILTIN(physical_point_material, 4)
{
    const int32_t ent = optional_entity(s, a.context(), a.i32(0));
    builtin_result_int(a.context(), s.physics.physical_point_material(ent, a.vec(1)));
}

DEFINE_BUILTIN(get_tree_delta, 1)
{
    builtin_result_vector(a.context(), s.physics.get_tree_delta(required_entity(s, a.context(), a.i32(0))));
}

DEFINE_BUILTIN(cast_ray, 13)
{
    kcontext_t* const c = a.context();
    const int32_t excluded = optional_entity(s, c, a.i32(12));
    HitRecord record(c, a.u32(0));
    RayHit hit;
    record.read(hit);
    const int found = s.physics.cast_ray(hit, a.vec(1), a.vec(4), a.f32(7), a.i32(8), a.vec(9), excluded);
    record.write(hit);
    builtin_result_int(c, found);
}

DEFINE_BUILTIN(find_entity, 6)
{
    builtin_result_int(a.context(), s.physics.find_entity(a.vec(0), a.f32(3), a.u32(4), a.u32(5)));
}

DEFINE_BUILTIN(find_first, 1) { builtin_result(a.context(), s.physics.find_first(cursor_of(a.context(), a.i32(0)))); }

DEFINE_BUILTIN(find_next, 1) { builtin_result(a.context(), s.physics.find_next(cursor_of(a.context(), a.i32(0)))); }

DEFINE_BUILTIN(find_done, 1) { s.physics.find_done(cursor_of(a.context(), a.i32(0))); }

DEFINE_BUILTIN(get_box_volume, 7)
{
    builtin_result_int(a.context(), s.physics.get_box_volume(a.i32(6), a.vec(0), a.vec(3)));
}

DEFINE_BUILTIN(get_volume, 2)
{
    const int32_t visual_id = a.i32(0);
    BUILTIN_CHECK(a.context(), visual_id >= 0);
    builtin_result_int(a.context(), get_object_volume(s, visual_id, a.u32(1)));
}
