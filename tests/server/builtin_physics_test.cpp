// Physics, volume and trigger builtins called from assembled scripts on the
// generated hall: floor at z = 0 of stone, water of material 60, trigger 1 at
// the side room's door and trigger 2 filling the side room.
#include "builtin_fixture.h"

#include "script/kio.h"
#include "server/object_id.h"
#include "tools/tmm/tmm_writer.h"

#include <cmath>
#include <algorithm>
#include <functional>
#include <limits>

namespace {

struct Builtin {
    const char* name;
    int cells;
};

// Every builtin of the family with the cells it takes.
constexpr Builtin BUILTINS[] = {
    {"create_physical", 6},
    {"destroy_physical", 1},
    {"set_physical_gravity", 3},
    {"set_physical_owner", 2},
    {"set_physical_position", 4},
    {"set_physical_angles", 4},
    {"set_physical_velocity", 4},
    {"set_physical_local_velocity", 4},
    {"set_physical_rotation", 4},
    {"set_physical_thrust", 4},
    {"set_physical_local_thrust", 4},
    {"set_physical_force", 4},
    {"set_physical_turn", 4},
    {"set_physical_mass", 2},
    {"set_physical_volume", 2},
    {"set_physical_bounce", 2},
    {"set_physical_penetrable_material", 2},
    {"set_physical_step", 3},
    {"get_physical_position", 1},
    {"get_physical_velocity", 1},
    {"get_physical_heading", 1},
    {"get_physical_pitch", 1},
    {"get_physical_bank", 1},
    {"get_physical_h_vel", 1},
    {"get_physical_p_vel", 1},
    {"get_physical_b_vel", 1},
    {"physical_ground_material", 1},
    {"physical_entity_material", 1},
    {"physical_point_material", 4},
    {"get_tree_delta", 1},
    {"cast_ray", 13},
    {"find_entity", 6},
    {"find_first", 1},
    {"find_next", 1},
    {"find_done", 1},
    {"get_box_volume", 7},
    {"get_volume", 2},
    {"register_trigger", 6},
    {"register_box_trigger", 6},
    {"enable_triggers", 1},
    {"disable_triggers", 1},
    {"activate_entity_triggers", 3},
    {"activate_point_triggers", 5},
};

// A function named after the builtin that hands its arguments on and answers
// the three result cells. The first argument ends at the stack top, so the
// last cells go first.
std::string forwarder(const Builtin& b)
{
    std::string code = std::string(".func ") + b.name + ", 64\n";
    for (int end = b.cells; end > 0; end -= 3) {
        const int start = end >= 3 ? end - 3 : 0;
        code += "    pushargsofs " + std::to_string(4 * start) + "\n    load" + std::to_string(end - start) + "\n";
    }
    code += std::string("    callnative @@") + b.name + ", " + std::to_string(4 * b.cells) + "\n";
    return code + "    pushresult3\n    ret3\n";
}

// Trigger functions note (tag, argument, object, number) in the log; tags:
constexpr uint32_t ENTER = 1;
constexpr uint32_t LEAVE = 2;
constexpr uint32_t ACTIVATE = 3;
constexpr uint32_t DESTROYER = 4; // destroys the entity its argument names, then notes
constexpr uint32_t CLOBBER = 5;   // answers 0x7777
constexpr uint32_t MOVER = 6;     // moves the entity its argument names to (800, 256, 50), then notes

const char* const TRIGGER_CODE = R"(
.global on_enter, on_leave, on_activate, destroyer, clobber, log, log_end, hit, place_keeps_result
.global place_and_go_on, thing, other_thing, mover
.func note, 32
    pushargsofs 12
    load1
    push log_end
    load1
    push 12
    add
    store1
    pushargs
    load3
    push log_end
    load1
    store3
    push log_end
    load1
    push 16
    add
    push log_end
    store1
    ret
.macro trigger name, tag
.func \name, 32
    pushargs
    load3
    push \tag
    call note, 16
    ret
.endm
    trigger on_enter, 1
    trigger on_leave, 2
    trigger on_activate, 3
.func destroyer, 32
    pushargs
    load1
    callnative @@destroy_physical, 4
    pushargs
    load3
    push 4
    call note, 16
    ret
.func mover, 32
    push 0x44480000, 0x43800000, 0x42480000
    pushargs
    load1
    callnative @@set_physical_position, 16
    pushargs
    load3
    push 6
    call note, 16
    ret
.func clobber, 32
    pushargs
    load3
    push 5
    call note, 16
    push 0x7777
    ret1
; (entity, x, y, z): the result register as it was before the move.
.func place_keeps_result, 32
    push 0x5EED
    setresult1
    pop1
    pushargsofs 4
    load3
    pushargs
    load1
    callnative @@set_physical_position, 16
    pushresult1
    ret1
; (entity, x, y, z): moves it, then answers 0xD0E.
.func place_and_go_on, 32
    pushargsofs 4
    load3
    pushargs
    load1
    callnative @@set_physical_position, 16
    push 0xD0E
    ret1
.data
log_end: .word log
log: .space 2048
hit: .space 64
; Script objects as find sees them: the word before one names its method
; table, whose word at 28 names the class flags.
table_a: .space 28
    .word flags_a
flags_a: .word 0x30
table_b: .space 28
    .word flags_b
flags_b: .word 0x10
    .word table_a
thing: .word 0
    .word table_b
other_thing: .word 0
)";

const std::string& physics_program()
{
    static const std::string text = [] {
        std::string code;
        for (const Builtin& b : BUILTINS) {
            code += forwarder(b);
        }
        std::string globals = ".global spawnclient, archive";
        for (const Builtin& b : BUILTINS) {
            globals += std::string(", ") + b.name;
        }
        return globals + "\n.code\n.func spawnclient, 16\n    push 1\n    ret1\n.func archive, 8\n    push 0\n"
                         "    ret1\n" +
               code + TRIGGER_CODE;
    }();
    return text;
}

constexpr uint32_t BODY = PHYS_MOVING | PHYS_GROUND_CONTACT;
constexpr uint32_t NONE = static_cast<uint32_t>(-1);


struct Note {
    uint32_t tag, argument, object, number;
    bool operator==(const Note& o) const
    {
        return tag == o.tag && argument == o.argument && object == o.object && number == o.number;
    }
};

std::ostream& operator<<(std::ostream& out, const Note& n)
{
    return out << "{tag " << n.tag << " argument " << n.argument << " object " << n.object << " number " << n.number
               << "}";
}

class PhysicsBuiltins : public BuiltinScripts {
protected:
    void SetUp() override
    {
        BuiltinScripts::SetUp();
        ASSERT_NO_FATAL_FAILURE(write_map("hall", "physics_hall"));
        ASSERT_NO_FATAL_FAILURE(write_scripts(physics_program().c_str()));
        ASSERT_EQ(server.start_map("hall", nullptr), 1) << printed();
    }

    // "@create_physical" with its cells in order; the entity number.
    int32_t create(uint32_t object, const Vector& size, int32_t volume, uint32_t flags)
    {
        return static_cast<int32_t>(
            call("create_physical", {object, cell(size.x), cell(size.y), cell(size.z), u(volume), flags})[0]);
    }
    int32_t body_at(const Vector& at, uint32_t object = 0)
    {
        const int32_t e = create(object, Vector{8, 8, 8}, -1, BODY);
        EXPECT_GE(e, 0);
        place(e, at);
        return e;
    }
    void place(int32_t e, const Vector& at) { call("set_physical_position", {u(e), cell(at.x), cell(at.y), cell(at.z)}); }
    const PhysicalEntity& entity(int32_t e) { return *server.physics.entity(e); }
    uint32_t word(uint32_t at) const { return server.k_context->arena.word(at); }
    // What the trigger functions noted since the last look.
    std::vector<Note> notes()
    {
        std::vector<Note> out;
        const uint32_t start = address("log");
        const uint32_t end = word(address("log_end"));
        for (uint32_t at = start; at < end; at += 16) {
            out.push_back(Note{word(at), word(at + 4), word(at + 8), word(at + 12)});
        }
        server.k_context->arena.set_word(address("log_end"), start);
        return out;
    }
    // Registers the hall's triggers 1 and 2 with the noting functions, argument 0xA0 + n.
    void register_triggers()
    {
        for (uint32_t n = 1; n <= 2; ++n) {
            call("register_trigger", {n, n == 2 ? 0x6u : 0x1u, address("on_enter"), address("on_leave"),
                                      address("on_activate"), 0xA0 + n});
        }
    }
};

bool same(const Vector& a, const Vector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST_F(PhysicsBuiltins, CreateHandsOnObjectSizeVolumeAndFlags)
{
    const int32_t mover = create(0x1234, Vector{16, 16, 28}, -1, BODY);
    ASSERT_GE(mover, 0);
    const PhysicalEntity& m = entity(mover);
    EXPECT_EQ(m.object, 0x1234u);
    ASSERT_NE(m.motion, nullptr);
    EXPECT_EQ(m.motion->tree, 2) << "the hull nearest the size";
    EXPECT_EQ(m.flags & (BODY | PHYS_UNPLACED), BODY | PHYS_UNPLACED);
    EXPECT_EQ(m.volume, nullptr);

    const auto box = call("get_box_volume", {cell(0), cell(0), cell(0), cell(20), cell(20), cell(10), 40});
    const int32_t volume = static_cast<int32_t>(box[0]);
    EXPECT_EQ(static_cast<uint32_t>(volume) & 0xF0000000u, VOLUME_DYNAMIC);
    EXPECT_EQ(call("get_box_volume", {cell(0), cell(0), cell(0), cell(20), cell(20), cell(10), 40})[0], box[0])
        << "the same box and contents answer the same volume";
    EXPECT_NE(call("get_box_volume", {cell(0), cell(0), cell(0), cell(20), cell(20), cell(10), 41})[0], box[0]);
    const int32_t door = create(0x99, Vector{20, 20, 10}, volume, PHYS_VOLUME);
    ASSERT_GE(door, 0);
    ASSERT_NE(entity(door).volume, nullptr);
    EXPECT_EQ(entity(door).volume->box_max.z, 10.0f) << "centre and half size in that order";
    EXPECT_EQ(entity(door).motion, nullptr);

    call("destroy_physical", {u(mover)});
    EXPECT_EQ(server.physics.entity(mover), nullptr);
    call("destroy_physical", {u(mover)});
    call("destroy_physical", {NONE});
    EXPECT_NE(server.physics.entity(door), nullptr) << "destroying a dead or negative id does nothing";
}

TEST_F(PhysicsBuiltins, SettersPassTheirCellsInOrder)
{
    const int32_t e = body_at(Vector{300, 300, 40});
    const int32_t other = body_at(Vector{200, 200, 40});
    struct Case {
        const char* function;
        std::vector<uint32_t> values;
        std::function<bool(const PhysicalEntity&)> holds;
    };
    const Case cases[] = {
        {"set_physical_position", {cell(310), cell(320), cell(50)},
         [](const PhysicalEntity& p) { return same(p.position, Vector{310, 320, 50}); }},
        {"set_physical_angles", {cell(0.5f), cell(0.25f), cell(0.125f)},
         [](const PhysicalEntity& p) { return p.heading == 0.5f && p.pitch == 0.25f && p.bank == 0.125f; }},
        {"set_physical_velocity", {cell(1), cell(2), cell(3)},
         [](const PhysicalEntity& p) { return same(p.velocity, Vector{1, 2, 3}); }},
        {"set_physical_rotation", {cell(4), cell(5), cell(6)},
         [](const PhysicalEntity& p) { return same(p.spin, Vector{4, 5, 6}); }},
        {"set_physical_thrust", {cell(7), cell(8), cell(9)},
         [](const PhysicalEntity& p) { return same(p.motion->thrust, Vector{7, 8, 9}); }},
        {"set_physical_force", {cell(10), cell(11), cell(12)},
         [](const PhysicalEntity& p) { return same(p.motion->force, Vector{10, 11, 12}); }},
        {"set_physical_turn", {cell(13), cell(14), cell(15)},
         [](const PhysicalEntity& p) { return same(p.motion->turn, Vector{13, 14, 15}); }},
        {"set_physical_mass", {cell(4)}, [](const PhysicalEntity& p) { return p.motion->inverse_mass == 0.25f; }},
        {"set_physical_mass", {cell(std::numeric_limits<float>::infinity())},
         [](const PhysicalEntity& p) { return p.motion->inverse_mass == 0.0f; }},
        {"set_physical_volume", {cell(0.5f)}, [](const PhysicalEntity& p) { return p.motion->volume == 0.5f; }},
        {"set_physical_bounce", {cell(0.75f)}, [](const PhysicalEntity& p) { return p.motion->bounce == 0.75f; }},
        {"set_physical_penetrable_material", {0x40},
         [](const PhysicalEntity& p) { return p.motion->penetrable == 0x40; }},
        {"set_physical_step", {cell(12), cell(30)},
         [](const PhysicalEntity& p) {
             return p.motion->step_height == 12.0f && p.motion->step_speed == 30.0f && (p.flags & PHYS_STEP_SMOOTH);
         }},
        {"set_physical_step", {cell(6), cell(0)},
         [](const PhysicalEntity& p) { return p.motion->step_height == 6.0f && !(p.flags & PHYS_STEP_SMOOTH); }},
        {"set_physical_owner", {u(other)}, [other](const PhysicalEntity& p) { return p.owner == other; }},
        {"set_physical_owner", {NONE}, [](const PhysicalEntity& p) { return p.owner == -1; }},
        {"set_physical_owner", {u(other)}, [other](const PhysicalEntity& p) { return p.owner == other; }},
        {"set_physical_owner", {200}, [](const PhysicalEntity& p) { return p.owner == -1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        std::vector<uint32_t> args = {u(e)};
        args.insert(args.end(), c.values.begin(), c.values.end());
        call(c.function, args);
        EXPECT_TRUE(c.holds(entity(e)));
    }
    EXPECT_EQ(call_vector("get_physical_position", {u(e)}).y, 320.0f);
    EXPECT_EQ(call_float("get_physical_heading", {u(e)}), 0.5f);
    EXPECT_EQ(call_float("get_physical_pitch", {u(e)}), 0.25f);
    EXPECT_EQ(call_float("get_physical_bank", {u(e)}), 0.125f);
    EXPECT_TRUE(same(call_vector("get_physical_velocity", {u(e)}), Vector{1, 2, 3}));
    EXPECT_EQ(call_float("get_physical_h_vel", {u(e)}), 4.0f);
    EXPECT_EQ(call_float("get_physical_p_vel", {u(e)}), 5.0f);
    EXPECT_EQ(call_float("get_physical_b_vel", {u(e)}), 6.0f);

    call("set_physical_gravity", {cell(0), cell(-1), cell(-800)});
    EXPECT_TRUE(same(server.physics.gravity(), Vector{0, -1, -800}));
}

TEST_F(PhysicsBuiltins, LocalVectorsAreTurnedByTheEntitysRotation)
{
    const int32_t e = body_at(Vector{300, 300, 40});
    const int32_t twin = body_at(Vector{400, 300, 40});
    const int32_t still = create(0, Vector{8, 8, 8}, -1, 0);
    for (const int32_t id : {e, twin}) {
        call("set_physical_angles", {u(id), cell(1.0f), cell(0.5f), cell(0.0f)});
    }
    const Vector local{3, 4, 5};
    call("set_physical_local_velocity", {u(e), cell(local.x), cell(local.y), cell(local.z)});
    server.physics.set_physical_local_velocity(twin, local);
    EXPECT_TRUE(same(entity(e).velocity, entity(twin).velocity));
    EXPECT_FALSE(same(entity(e).velocity, local));

    const Vector answered = call_vector("set_physical_local_thrust", {u(e), cell(1), cell(2), cell(3)});
    Vector expected{1, 2, 3};
    server.physics.set_physical_local_thrust(twin, expected);
    EXPECT_TRUE(same(answered, expected)) << "the vector as the operation leaves it";
    EXPECT_TRUE(same(entity(e).motion->thrust, entity(twin).motion->thrust));
    EXPECT_TRUE(same(call_vector("set_physical_local_thrust", {u(still), cell(1), cell(2), cell(3)}), Vector{0, 0, 0}))
        << "without a motion record the vector is zeroed";
}

TEST_F(PhysicsBuiltins, MaterialsAndTreeDeltaComeFromTheMapAndTheEntitysHull)
{
    const int32_t swimmer = body_at(Vector{700, 150, 20});
    const int32_t walker = create(0, Vector{16, 16, 28}, -1, BODY);
    place(walker, Vector{300, 300, 40});
    call("set_physical_gravity", {cell(0), cell(0), cell(-800)});
    for (int t = 0; t < 140; ++t) {
        server.physics.tick();
    }
    EXPECT_EQ(static_cast<int32_t>(call("physical_entity_material", {u(swimmer)})[0]), 60);
    EXPECT_EQ(call("physical_point_material", {NONE, cell(700), cell(150), cell(20)})[0], 60u)
        << "entity -1 asks the map alone";
    EXPECT_EQ(call("physical_point_material", {u(walker), cell(300), cell(300), cell(10)})[0],
              static_cast<uint32_t>(server.physics.physical_point_material(walker, Vector{300, 300, 10})));
    EXPECT_NE(call("physical_ground_material", {u(walker)})[0], 0u) << "stands on the floor";
    EXPECT_EQ(call("physical_ground_material", {u(walker)})[0],
              static_cast<uint32_t>(server.physics.physical_ground_material(walker)));
    EXPECT_TRUE(same(call_vector("get_tree_delta", {u(walker)}), server.physics.volume_set()->hulls[2]));
    const int32_t still = create(0, Vector{16, 16, 28}, -1, 0);
    EXPECT_TRUE(same(call_vector("get_tree_delta", {u(still)}), server.physics.volume_set()->hulls[0]))
        << "a non-moving entity has tree 0";
}

TEST_F(PhysicsBuiltins, RayCastsFillTheScriptsHitRecord)
{
    constexpr int32_t STONE = 0x2180;
    const auto volume = call("get_box_volume", {cell(0), cell(0), cell(0), cell(20), cell(20), cell(20), 40})[0];
    const int32_t door = create(0x99, Vector{20, 20, 20}, static_cast<int32_t>(volume), PHYS_VOLUME);
    place(door, Vector{300, 300, 50});
    const int32_t gone = body_at(Vector{100, 100, 40});
    call("destroy_physical", {u(gone)});
    const uint32_t hit = address("hit");
    struct Case {
        const char* why;
        Vector start, direction;
        float length;
        int32_t material;
        Vector size;
        int32_t excluded;
        int found;
        uint32_t object;
        float fraction;
    };
    const Case cases[] = {
        {"the floor stops contents up to its own", {200, 200, 100}, {0, 0, -1}, 200, STONE, {0, 0, 0}, -1, 1, 0, 100},
        {"but not above", {200, 200, 100}, {0, 0, -1}, 200, STONE + 1, {0, 0, 0}, -1, 0, 0, 0},
        {"too short", {200, 200, 100}, {0, 0, -1}, 50, STONE, {0, 0, 0}, -1, 0, 0, 0},
        {"the direction scales the fraction", {200, 200, 100}, {0, 0, -2}, 100, STONE, {0, 0, 0}, -1, 1, 0, 50},
        {"a hull lifts the floor", {200, 200, 100}, {0, 0, -1}, 200, STONE, {16, 16, 28}, -1, 1, 0, 72},
        {"the carried box is met first", {300, 300, 100}, {0, 0, -1}, 200, 40, {0, 0, 0}, -1, 1, 0x99, 30},
        {"unless excluded", {300, 300, 100}, {0, 0, -1}, 200, 40, {0, 0, 0}, door, 1, 0, 100},
        {"a free entity excludes nothing", {300, 300, 100}, {0, 0, -1}, 200, 40, {0, 0, 0}, gone, 1, 0x99, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        for (uint32_t k = 0; k < 14; ++k) {
            server.k_context->arena.set_word(hit + 4 * k, 0xC0DE0000 + k);
        }
        const uint32_t found = call("cast_ray", {hit, cell(c.start.x), cell(c.start.y), cell(c.start.z),
                                                 cell(c.direction.x), cell(c.direction.y), cell(c.direction.z),
                                                 cell(c.length), u(c.material), cell(c.size.x), cell(c.size.y),
                                                 cell(c.size.z), u(c.excluded)})[0];
        EXPECT_EQ(found, static_cast<uint32_t>(c.found));
        EXPECT_EQ(word(hit), c.object);
        EXPECT_EQ(word(hit + 36), 0u);
        EXPECT_EQ(word(hit + 40), 0u);
        EXPECT_EQ(word(hit + 44), 0u);
        EXPECT_EQ(word(hit + 48), c.object != 0 ? u(door) : NONE) << "the entity hit, -1 for the map";
        if (c.found == 0) {
            EXPECT_EQ(word(hit + 8), 0xC0DE0002u) << "a miss leaves the fraction";
            continue;
        }
        EXPECT_NEAR(as_float(word(hit + 8)), c.fraction, 1e-3f);
        EXPECT_EQ(static_cast<int32_t>(word(hit + 4)), c.material == 40 && c.object != 0 ? 40 : STONE);
        EXPECT_NEAR(as_float(word(hit + 12)), c.start.x, 1e-3f);
        EXPECT_NEAR(as_float(word(hit + 20)), c.start.z + c.direction.z * c.fraction, 1e-3f);
        EXPECT_EQ(as_float(word(hit + 32)), 1.0f) << "the normal faces up";
        EXPECT_EQ(word(hit + 52), 1u) << "and is valid";
    }
}

TEST_F(PhysicsBuiltins, FindListsTheObjectsWhoseClassFlagsMatch)
{
    const uint32_t thing = address("thing");
    const uint32_t other = address("other_thing");
    body_at(Vector{300, 300, 40}, thing);
    body_at(Vector{320, 300, 40}, other);
    body_at(Vector{600, 300, 40}, thing);
    struct Case {
        const char* why;
        float radius;
        uint32_t mask, value;
        std::vector<uint32_t> objects;
    };
    const Case cases[] = {
        {"mask, then value", 50, 0x30, 0x10, {other}},
        {"every class", 50, 0, 0, {thing, other}},
        {"only the first class", 50, 0x20, 0x20, {thing}},
        {"the radius reaches the third", 400, 0x20, 0x20, {thing, thing}},
        {"no class has these flags", 400, 0x40, 0x40, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const uint32_t cursor = call("find_entity", {cell(300), cell(300), cell(40), cell(c.radius), c.mask, c.value})[0];
        ASSERT_LT(cursor, static_cast<uint32_t>(PHYS_FIND_CURSORS));
        std::vector<uint32_t> seen;
        const uint32_t first = call("find_first", {cursor})[0];
        for (uint32_t o = first; o != 0 && seen.size() < 8; o = call("find_next", {cursor})[0]) {
            seen.push_back(o);
        }
        EXPECT_EQ(call("find_first", {cursor})[0], first) << "find_first starts again";
        std::sort(seen.begin(), seen.end());
        std::vector<uint32_t> want = c.objects;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(seen, want);
        call("find_done", {cursor});
        EXPECT_EQ(call("find_first", {cursor})[0], 0u) << "a finished cursor finds nothing";
    }
    EXPECT_EQ(call("find_first", {NONE})[0], 0u);
    call("find_done", {NONE});
}

TEST_F(PhysicsBuiltins, ObjectVolumesComeFromTheMapModelOrTheMeshsCollisionSize)
{
    const uint32_t model0 = object_id(OBJCLASS_BSP, 0);
    EXPECT_EQ(call("get_volume", {model0, 40})[0], VOLUME_MAP_MODEL);
    const uint32_t past = object_id(OBJCLASS_BSP, static_cast<uint32_t>(server.physics.model_count()));
    EXPECT_EQ(call("get_volume", {past, 40})[0], NONE) << "no such model";

    tmm::Model model;
    model.size = {30, 30, 60};
    model.collision_size = {32, 24, 64};
    tree.write("models/crate.tmm", tmm::write_model(model));
    const int32_t created = server.mirror.create(OBJCLASS_MESH, AUDIENCE_EVERYONE, false);
    ASSERT_GE(created, 0);
    const uint32_t mesh = static_cast<uint32_t>(created);
    const SObjArg name{0, 0.0, "crate"};
    ASSERT_EQ(server.mirror.set_special(created, PROPERTY_MESH_MODEL, SObjArgs(&name, 1)), 1);
    const int32_t volume = static_cast<int32_t>(call("get_volume", {mesh, 40})[0]);
    ASSERT_EQ(static_cast<uint32_t>(volume) & 0xF0000000u, VOLUME_DYNAMIC);
    const int32_t crate = create(0, Vector{32, 24, 64}, volume, PHYS_VOLUME);
    const VolumeInstance& box = *entity(crate).volume;
    // Hull 2 (16, 16, 28) is the nearest to the model's size: the box stands 64 - 28 above the centre.
    EXPECT_TRUE(same(box.box_min, Vector{-32, -24, 36 - 64}));
    EXPECT_TRUE(same(box.box_max, Vector{32, 24, 36 + 64}));
    EXPECT_EQ(call("get_volume", {mesh, 40})[0], u(volume)) << "the same box again";
    EXPECT_NE(call("get_volume", {mesh, 41})[0], u(volume)) << "other contents";
    server.mirror.destroy(created);
    server.mirror.purge_destroyed_objects();
    // A mesh object that is gone has no collision size: its box has none either.
    const int32_t gone = static_cast<int32_t>(call("get_volume", {mesh, 40})[0]);
    ASSERT_EQ(static_cast<uint32_t>(gone) & 0xF0000000u, VOLUME_DYNAMIC);
    const int32_t point = create(0, Vector{0, 0, 0}, gone, PHYS_VOLUME);
    EXPECT_TRUE(same(entity(point).volume->box_min, entity(point).volume->box_max));
}

TEST_F(PhysicsBuiltins, TriggerFunctionsRunWhileTheBuiltinRuns)
{
    register_triggers();
    const int32_t e = body_at(Vector{800, 256, 50}, 0x77);
    call("enable_triggers", {u(e)});
    EXPECT_TRUE(notes().empty());
    struct Step {
        Vector to;
        std::vector<Note> notes;
    };
    const Step steps[] = {
        {{1000, 256, 50}, {{ENTER, 0xA1, 0x77, 1}}},
        {{1050, 256, 50}, {{ENTER, 0xA2, 0x77, 2}}},
        {{1100, 256, 50}, {{LEAVE, 0xA1, 0x77, 1}}},
        {{800, 256, 50}, {{LEAVE, 0xA2, 0x77, 2}}},
        {{1050, 256, 50}, {{ENTER, 0xA1, 0x77, 1}, {ENTER, 0xA2, 0x77, 2}}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.to.x);
        place(e, s.to);
        EXPECT_EQ(notes(), s.notes);
    }
    call("activate_entity_triggers", {u(e), 0x6, 0x6});
    EXPECT_EQ(notes(), (std::vector<Note>{{ACTIVATE, 0xA2, 0x77, 2}})) << "mask, then value";
    call("activate_entity_triggers", {u(e), 0x1, 0x0});
    EXPECT_EQ(notes(), (std::vector<Note>{{ACTIVATE, 0xA2, 0x77, 2}}));
    call("activate_point_triggers", {cell(1050), cell(256), cell(50), 0x1, 0x1});
    EXPECT_EQ(notes(), (std::vector<Note>{{ACTIVATE, 0xA1, 0, 1}})) << "no object at a point";
    call("disable_triggers", {u(e)});
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, 0xA1, 0x77, 1}, {LEAVE, 0xA2, 0x77, 2}}));
    call("enable_triggers", {u(e)});
    EXPECT_EQ(notes().size(), 2u);

    // A box carried by an entity: entity, then flags, functions and argument.
    const auto volume = call("get_box_volume", {cell(0), cell(0), cell(0), cell(20), cell(20), cell(20), 40})[0];
    const int32_t door = create(0x99, Vector{20, 20, 20}, static_cast<int32_t>(volume), PHYS_VOLUME);
    place(door, Vector{500, 150, 50});
    call("register_box_trigger",
         {u(door), 0x8, address("on_enter"), address("on_leave"), address("on_activate"), 0xBB});
    place(e, Vector{500, 150, 50});
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, 0xA1, 0x77, 1}, {LEAVE, 0xA2, 0x77, 2},
                                          {ENTER, 0xBB, 0x77, VOLUME_BOX_TRIGGER}}));
    call("activate_point_triggers", {cell(500), cell(150), cell(50), 0x8, 0x8});
    EXPECT_EQ(notes(), (std::vector<Note>{{ACTIVATE, 0xBB, 0, VOLUME_BOX_TRIGGER}}));
    call("destroy_physical", {u(e)});
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, 0xBB, 0x77, VOLUME_BOX_TRIGGER}})) << "destroying leaves";
}

TEST_F(PhysicsBuiltins, ATriggerFunctionMayDestroyTheEntityTheBuiltinMoves)
{
    // Trigger 1 destroys whoever enters it; its argument names the entity.
    const int32_t e = body_at(Vector{800, 256, 50}, 0x77);
    call("register_trigger", {1, 0x1, address("destroyer"), address("on_leave"), 0, u(e)});
    call("register_trigger", {2, 0x1, address("on_enter"), address("on_leave"), 0, 0xA2});
    call("enable_triggers", {u(e)});
    EXPECT_EQ(call("place_and_go_on", {u(e), cell(1050), cell(256), cell(50)})[0], 0xD0Eu)
        << "the calling script goes on after the builtin";
    EXPECT_EQ(server.physics.entity(e), nullptr);
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, u(e), 0x77, 1}, {DESTROYER, u(e), 0x77, 1}}))
        << "it leaves the trigger it entered, and no other trigger runs for it";

    // A leave function run by the destroy destroys it again: nothing more happens.
    const int32_t f = body_at(Vector{800, 256, 50}, 0x78);
    call("register_trigger", {2, 0x1, address("on_enter"), address("destroyer"), 0, u(f)});
    call("register_trigger", {1, 0x1, address("on_enter"), address("on_leave"), 0, 0xA1});
    call("enable_triggers", {u(f)});
    place(f, Vector{1050, 256, 50});
    notes();
    call("destroy_physical", {u(f)});
    EXPECT_EQ(server.physics.entity(f), nullptr);
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, 0xA1, 0x78, 1}, {DESTROYER, u(f), 0x78, 2}}));

    // The entity's number is free again and serves a new one.
    const int32_t g = body_at(Vector{300, 300, 40});
    EXPECT_GE(g, 0);
    EXPECT_TRUE(same(call_vector("get_physical_position", {u(g)}), Vector{300, 300, 40}));
}

TEST_F(PhysicsBuiltins, ATriggerFunctionThatMovesTheEntityEndsTheWalkItInterrupts)
{
    const int32_t e = body_at(Vector{800, 256, 50}, 0x77);
    call("register_trigger", {1, 0x1, address("mover"), address("on_leave"), 0, u(e)});
    call("register_trigger", {2, 0x1, address("on_enter"), address("on_leave"), 0, 0xA2});
    call("enable_triggers", {u(e)});
    place(e, Vector{1050, 256, 50});
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, u(e), 0x77, 1}, {MOVER, u(e), 0x77, 1}}))
        << "moved out from trigger 1's enter: it leaves 1 and never enters 2";
    EXPECT_TRUE(same(entity(e).position, Vector{800, 256, 50}));
    EXPECT_EQ(entity(e).motion->trigger_count, 0);
    place(e, Vector{1100, 256, 50});
    EXPECT_EQ(notes(), (std::vector<Note>{{ENTER, 0xA2, 0x77, 2}}));
    call("destroy_physical", {u(e)});
    EXPECT_EQ(notes(), (std::vector<Note>{{LEAVE, 0xA2, 0x77, 2}}));
}

TEST_F(PhysicsBuiltins, TriggerFunctionsLeaveTheResultRegisterAlone)
{
    const int32_t e = body_at(Vector{800, 256, 50}, 0x77);
    call("register_trigger", {1, 0x1, address("clobber"), address("clobber"), address("clobber"), 0xA1});
    call("enable_triggers", {u(e)});
    EXPECT_EQ(call("place_keeps_result", {u(e), cell(1000), cell(256), cell(50)})[0], 0x5EEDu);
    EXPECT_EQ(notes(), (std::vector<Note>{{CLOBBER, 0xA1, 0x77, 1}})) << "the function did run";
}

TEST_F(PhysicsBuiltins, QueriesWithNonFiniteValuesAnswerNothing)
{
    const int32_t e = body_at(Vector{300, 300, 40});
    register_triggers();
    const uint32_t nan = cell(std::numeric_limits<float>::quiet_NaN());
    const uint32_t inf = cell(std::numeric_limits<float>::infinity());
    EXPECT_EQ(call("physical_point_material", {u(e), nan, 0, 0})[0], 0u);
    EXPECT_EQ(call("cast_ray", {address("hit"), cell(200), cell(200), cell(100), 0, 0, cell(-1), inf, 1, 0, 0, 0,
                                NONE})[0],
              0u);
    EXPECT_EQ(call("find_entity", {cell(300), cell(300), nan, cell(10), 0, 0})[0], NONE);
    EXPECT_EQ(call("get_box_volume", {0, 0, 0, inf, 0, 0, 40})[0], NONE);
    call("activate_point_triggers", {cell(1050), nan, cell(50), 0, 0});
    EXPECT_TRUE(notes().empty());
}

TEST_F(PhysicsBuiltins, BadArgumentsEndTheScript)
{
    const int32_t e = body_at(Vector{300, 300, 40});
    const int32_t gone = body_at(Vector{200, 200, 40});
    call("destroy_physical", {u(gone)});
    const uint32_t nan = cell(std::numeric_limits<float>::quiet_NaN());
    const uint32_t inf = cell(std::numeric_limits<float>::infinity());
    using Case = ScriptEnd;
    const Case cases[] = {
        {"set_physical_position", {NONE, 0, 0, 0}, "KRun: @set_physical_position: s.physics.entity\\(ent\\) != nullptr failed at"},
        {"set_physical_velocity", {256, 0, 0, 0}, "KRun: @set_physical_velocity: s.physics.entity"},
        {"get_physical_position", {u(gone)}, "KRun: @get_physical_position: s.physics.entity"},
        {"get_physical_b_vel", {100000}, "KRun: @get_physical_b_vel: s.physics.entity"},
        {"enable_triggers", {u(gone)}, "KRun: @enable_triggers: s.physics.entity"},
        {"register_box_trigger", {NONE, 0, 0, 0, 0, 0}, "KRun: @register_box_trigger: s.physics.entity"},
        {"get_tree_delta", {NONE}, "KRun: @get_tree_delta: s.physics.entity"},
        {"set_physical_owner", {u(e), 256}, "KRun: @set_physical_owner: ent < PHYS_ENTITIES failed"},
        {"cast_ray", {address("hit"), 0, 0, 0, 0, 0, cell(-1), cell(10), 1, 0, 0, 0, 300},
         "KRun: @cast_ray: ent < PHYS_ENTITIES failed"},
        {"physical_point_material", {256, 0, 0, 0}, "KRun: @physical_point_material: ent < PHYS_ENTITIES"},
        {"destroy_physical", {256}, "KRun: @destroy_physical: ent < PHYS_ENTITIES"},
        {"set_physical_position", {u(e), nan, 0, 0}, "KRun: @set_physical_position: finite_vector\\(position\\)"},
        {"set_physical_angles", {u(e), 0, inf, 0}, "KRun: @set_physical_angles: finite_vector"},
        {"set_physical_velocity", {u(e), 0, 0, nan}, "KRun: @set_physical_velocity: finite_vector"},
        {"set_physical_turn", {u(e), inf, 0, 0}, "KRun: @set_physical_turn: finite_vector"},
        {"set_physical_local_thrust", {u(e), nan, 0, 0}, "KRun: @set_physical_local_thrust: finite_vector"},
        {"set_physical_gravity", {0, 0, nan}, "KRun: @set_physical_gravity: finite_vector"},
        {"set_physical_mass", {u(e), nan}, "KRun: @set_physical_mass: !std::isnan\\(mass\\)"},
        {"set_physical_volume", {u(e), inf}, "KRun: @set_physical_volume: std::isfinite"},
        {"set_physical_step", {u(e), cell(4), nan}, "KRun: @set_physical_step: std::isfinite"},
        {"create_physical", {0, nan, 0, 0, NONE, BODY}, "KRun: @create_physical: finite_vector\\(size\\)"},
        {"create_physical", {0, 0, 0, 0, VOLUME_MAP_MODEL | 999, PHYS_VOLUME},
         "KRun: @create_physical: e->volume != nullptr failed"},
        {"create_physical", {0, 0, 0, 0, VOLUME_DYNAMIC | 5, PHYS_VOLUME}, "KRun: @create_physical: e->volume"},
        {"find_first", {16}, "KRun: @find_first: cursor < PHYS_FIND_CURSORS failed"},
        {"find_done", {1000}, "KRun: @find_done: cursor < PHYS_FIND_CURSORS"},
        {"get_volume", {NONE, 0}, "KRun: @get_volume: visual_id >= 0 failed"},
        {"cast_ray", {8, 0, 0, 0, 0, 0, cell(-1), cell(10), 1, 0, 0, 0, NONE}, "KRun: .*0x00000008"},
        {"cast_ray", {K_DIECODE, 0, 0, 0, 0, 0, cell(-1), cell(10), 1, 0, 0, 0, NONE}, "KRun: .*0x00010000"},
    };
    expect_each_ends_the_script(server.k_context, cases);
}

} // namespace
