#include "physics_fixture.h"
#include "server/ph_clip_planes.h"
#include "server/ph_material.h"
#include "core/config_variable.h"

#include <cmath>
#include <random>

namespace {

constexpr uint32_t ENTER = 0x100;
constexpr uint32_t LEAVE = 0x200;
constexpr uint32_t ACTIVATE = 0x300;

// Each trigger's functions are ENTER + n, LEAVE + n and ACTIVATE + n, its
// argument 0xA0 + n.
void register_triggers(PhysicsServer& physics)
{
    for (int32_t n = 0; n < physics.trigger_count(); ++n) {
        physics.register_trigger(n, n == 2 ? 0x6u : 0x1u, ENTER + n, LEAVE + n, ACTIVATE + n, 0xA0u + n);
    }
}

} // namespace

TEST_F(PhysicsHall, TriggersRunInAscendingOrderOnEnterAndLeave)
{
    register_triggers(physics);
    const int32_t id = body(Vector{0, 0, 0}, Vector{800, 256, 50}, BODY, 0x77);
    physics.enable_triggers(id);
    physics.enable_triggers(id);
    EXPECT_TRUE(script.calls.empty()) << "in no trigger yet; enabling twice is harmless";
    struct Step {
        Vector to;
        std::vector<ScriptCall> calls;
    };
    const Step steps[] = {
        {{1000, 256, 50}, {function_call(ENTER + 1, 0xA1, 0x77, 1)}},
        {{1050, 256, 50}, {function_call(ENTER + 2, 0xA2, 0x77, 2)}},
        {{1100, 256, 50}, {function_call(LEAVE + 1, 0xA1, 0x77, 1)}},
        {{800, 256, 50}, {function_call(LEAVE + 2, 0xA2, 0x77, 2)}},
        {{1050, 256, 50}, {function_call(ENTER + 1, 0xA1, 0x77, 1), function_call(ENTER + 2, 0xA2, 0x77, 2)}},
        {{1051, 256, 50}, {}},
        {{700, 256, 50}, {function_call(LEAVE + 1, 0xA1, 0x77, 1), function_call(LEAVE + 2, 0xA2, 0x77, 2)}},
    };
    for (const Step& s : steps) {
        script.calls.clear();
        physics.set_physical_position(id, s.to);
        EXPECT_EQ(script.calls, s.calls) << s.to.x;
    }
    physics.set_physical_position(id, Vector{1050, 256, 50});
    script.calls.clear();
    physics.activate_entity_triggers(id, 0x6, 0x6);
    EXPECT_EQ(script.calls, std::vector<ScriptCall>{function_call(ACTIVATE + 2, 0xA2, 0x77, 2)});
    script.calls.clear();
    physics.disable_triggers(id);
    physics.disable_triggers(id);
    EXPECT_EQ(script.calls, (std::vector<ScriptCall>{function_call(LEAVE + 1, 0xA1, 0x77, 1),
                                                    function_call(LEAVE + 2, 0xA2, 0x77, 2)}));
    script.calls.clear();
    physics.enable_triggers(id);
    EXPECT_EQ(script.calls.size(), 2u) << "enabled again: both enter";
}

TEST_F(PhysicsHall, BoxAndMapTriggersAtOnePointAreListedOnceEachInOrder)
{
    register_triggers(physics);
    const int32_t door = box(Vector{1050, 256, 50}, Vector{20, 20, 20}, 40);
    physics.register_box_trigger(door, 0x1, 0x500, 0x600, 0x700, 0xBB);
    script.calls.clear();
    physics.activate_point_triggers(Vector{1050, 256, 50}, 0x1, 0x1);
    EXPECT_EQ(script.calls, (std::vector<ScriptCall>{function_call(ACTIVATE + 1, 0xA1, 0, 1),
                                                    function_call(0x700, 0xBB, 0, VOLUME_BOX_TRIGGER)}));
    const int32_t walker = body(Vector{0, 0, 0}, Vector{1050, 300, 50}, BODY, 0x55);
    physics.enable_triggers(walker);
    script.calls.clear();
    physics.set_physical_position(walker, Vector{1050, 256, 50});
    EXPECT_EQ(script.calls, std::vector<ScriptCall>{function_call(0x500, 0xBB, 0x55, VOLUME_BOX_TRIGGER)});
    EXPECT_EQ(physics.physical_entity_material(walker), 40) << "the medium is the box's contents";
    script.calls.clear();
    physics.destroy_entity(door);
    physics.set_physical_position(walker, Vector{1050, 300, 50});
    EXPECT_TRUE(script.calls.empty()) << "a destroyed box trigger left quietly";
}

TEST_F(PhysicsHall, CallbacksMayDestroyTheEntityTheyAreCalledFor)
{
    physics.set_physical_gravity(Vector{0, 0, -800});
    const int32_t victim = body(Vector{8, 8, 8}, Vector{300, 800, 40}, BODY, 0x11);
    const int32_t other = body(Vector{8, 8, 8}, Vector{500, 800, 40}, BODY, 0x22);
    physics.set_physical_bounce(other, 0);
    script.on_method = [&](uint32_t offset, uint32_t object, uint32_t) -> uint32_t {
        if (offset == PHYS_METHOD_TOUCH && object == 0x11) {
            physics.destroy_entity(victim);
            physics.destroy_entity(victim);
            // A new entity in the middle of the pass is fine too.
            body(Vector{0, 0, 0}, Vector{600, 600, 100}, BODY, 0x33);
        }
        return 0;
    };
    ticks(60);
    EXPECT_EQ(physics.entity(victim) == nullptr || at(victim).object != 0x11, true);
    EXPECT_NE(std::find(script.calls.begin(), script.calls.end(), method_call(PHYS_METHOD_TOUCH, 0x11, 0)),
              script.calls.end());
    EXPECT_NEAR(at(other).position.z, 8.0f, 0.05f) << "the others went on";

    // A trigger function that destroys the entity while it is placed: it is
    // not linked again, and leaving runs the leave functions once.
    register_triggers(physics);
    const int32_t walker = body(Vector{0, 0, 0}, Vector{800, 256, 50}, BODY, 0x44);
    physics.enable_triggers(walker);
    script.on_function = [&](uint32_t address, uint32_t) {
        if (address == ENTER + 2) {
            physics.destroy_entity(walker);
        }
    };
    script.calls.clear();
    physics.set_physical_position(walker, Vector{1050, 256, 50});
    EXPECT_EQ(physics.entity(walker), nullptr);
    EXPECT_EQ(script.calls, (std::vector<ScriptCall>{function_call(ENTER + 1, 0xA1, 0x44, 1),
                                                    function_call(ENTER + 2, 0xA2, 0x44, 2),
                                                    function_call(LEAVE + 1, 0xA1, 0x44, 1),
                                                    function_call(LEAVE + 2, 0xA2, 0x44, 2)}));
    const int32_t cursor = physics.find_entity(Vector{1050, 256, 50}, 100, 0, 0);
    EXPECT_EQ(physics.find_first(cursor), 0u) << "nothing left in the locator";
    physics.find_done(cursor);
    ticks(2);
}

TEST_F(PhysicsHall, ContactAndTouchNameBothObjectsWhicheverSideFindsTheContact)
{
    // Awake, the wall meets the ball in its own pass first (the ball hits
    // it); asleep, the ball meets the wall in the ball's pass.
    for (const int quiet_ticks : {0, 2}) {
        const int32_t wall = box(Vector{300, 800, 50}, Vector{10, 50, 50}, STONE, PHYS_VOLUME, 0x20);
        ticks(quiet_ticks);
        EXPECT_EQ(at(wall).awake(), quiet_ticks == 0);
        const int32_t ball = body(Vector{0, 0, 0}, Vector{285, 800, 50}, BODY, 0x10);
        physics.set_physical_bounce(ball, 0);
        physics.set_physical_velocity(ball, Vector{700, 0, 0});
        script.calls.clear();
        physics.tick();
        EXPECT_GT(at(ball).position.x, 284.9f) << quiet_ticks;
        EXPECT_LT(at(ball).position.x, 290.0f) << quiet_ticks;
        EXPECT_LT(at(ball).velocity.x, 0.01f) << quiet_ticks;
        ASSERT_GE(script.calls.size(), 2u) << quiet_ticks;
        EXPECT_EQ(script.calls[0], method_call(PHYS_METHOD_CONTACT, 0x20, 0x10)) << "the wall hears of the ball";
        EXPECT_EQ(script.calls[1], method_call(PHYS_METHOD_TOUCH, 0x10, 0x20)) << "the ball touches the wall";
        physics.destroy_entity(ball);
        physics.destroy_entity(wall);
    }
}

TEST_F(PhysicsHall, AMovingVolumePushesABodyAndIsBlockedWhenItCannotGiveWay)
{
    physics.set_physical_gravity(Vector{0, 0, -800});
    const int32_t walker = body(Vector{8, 8, 8}, Vector{900, 800, 8.5f}, BODY, 0x31);
    physics.set_physical_bounce(walker, 0);
    ticks(5);
    // A sliding door without a motion record, driven by its velocity alone.
    const int32_t door = box(Vector{820, 800, 30}, Vector{10, 40, 30}, STONE, PHYS_VOLUME, 0x32);
    physics.set_physical_velocity(door, Vector{700, 0, 0});
    for (int t = 0; t < 40; ++t) {
        physics.tick();
        ASSERT_GE(at(walker).position.x - at(door).position.x, 18.0f - 0.01f) << "never into the walker, tick " << t;
    }
    EXPECT_NEAR(at(walker).position.x, 1016.0f, 0.05f) << "pushed to the wall";
    EXPECT_NE(std::find(script.calls.begin(), script.calls.end(), method_call(PHYS_METHOD_BLOCKED, 0x32, 0x31)),
              script.calls.end());
    EXPECT_NE(std::find(script.calls.begin(), script.calls.end(), method_call(PHYS_METHOD_CONTACT, 0x32, 0x31)),
              script.calls.end());
    EXPECT_TRUE(capture.contains("is blocked!"));
}

TEST_F(PhysicsHall, RayCastsStopAtTheMaterialAndRespectTheSideRules)
{
    struct Case {
        const char* name;
        Vector start;
        Vector direction;
        float length;
        int32_t material;
        Vector size;
        int hits;
        int32_t contents;
        float fraction;
    };
    const Case cases[] = {
        {"water stops material 60", {700, 200, 100}, {0, 0, -1}, 200, 60, {0, 0, 0}, 1, 60, 52},
        {"water does not stop material 61", {700, 200, 100}, {0, 0, -1}, 200, 61, {0, 0, 0}, 1, STONE, 100},
        {"the big hull meets the floor higher", {800, 800, 100}, {0, 0, -1}, 200, 0x2000, {16, 16, 28}, 1, STONE, 72},
        {"parallel to the floor just above it", {300, 350, 0.5f}, {1, 0, 0}, 200, 0x2000, {0, 0, 0}, 0, 0, 0},
        {"parallel along the floor's plane is in it", {300, 350, 0}, {1, 0, 0}, 200, 0x2000, {0, 0, 0}, 0, 0, 0},
        {"starting inside a pillar and leaving", {460, 460, 100}, {1, 0, 0}, 50, 0x2000, {0, 0, 0}, 0, 0, 0},
        {"starting inside a pillar, through the next", {460, 460, 100}, {1, 0, 0}, 200, 0x2000, {0, 0, 0}, 1,
         STONE, 116},
        {"too short", {700, 200, 100}, {0, 0, -1}, 40, 60, {0, 0, 0}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        RayHit hit;
        ASSERT_EQ(physics.cast_ray(hit, c.start, c.direction, c.length, c.material, c.size, -1), c.hits) << c.name;
        if (c.hits != 0) {
            EXPECT_EQ(hit.contents, c.contents) << c.name;
            EXPECT_NEAR(hit.fraction, c.fraction, 1e-3f) << c.name;
            EXPECT_EQ(hit.object, 0u) << c.name;
            EXPECT_EQ(hit.normal_valid, 1) << c.name;
        }
    }
}

TEST_F(PhysicsHall, RayCastsMeetEntityVolumesInTheirFrameUnlessExcluded)
{
    const int32_t id = box(Vector{300, 320, 50}, Vector{10, 10, 10}, 0x2200, PHYS_VOLUME, 0x99);
    physics.set_physical_angles(id, 3.14159265f / 2, 0, 0);
    RayHit hit;
    ASSERT_EQ(physics.cast_ray(hit, Vector{250, 320, 50}, Vector{1, 0, 0}, 100, 0x2000, Vector{0, 0, 0}, -1), 1);
    EXPECT_EQ(hit.object, 0x99u);
    EXPECT_EQ(hit.entity, physics.entity(id));
    EXPECT_EQ(hit.contents, 0x2200);
    EXPECT_NEAR(hit.fraction, 40.0f, 1e-3f);
    EXPECT_NEAR(hit.point.x, 290.0f, 1e-3f);
    EXPECT_NEAR(hit.normal.x, -1.0f, 1e-3f) << "turned back to the world";
    EXPECT_NEAR(hit.normal.y, 0.0f, 1e-3f);
    EXPECT_EQ(physics.cast_ray(hit, Vector{250, 320, 50}, Vector{1, 0, 0}, 100, 0x2000, Vector{0, 0, 0}, id), 0);
    EXPECT_EQ(physics.physical_point_material(-1, Vector{300, 320, 50}), 1) << "the map alone";
}

TEST_F(PhysicsHall, LimitsAreRefusedAndReported)
{
    int32_t last = -1;
    for (int i = 0; i < PHYS_ENTITIES; ++i) {
        last = physics.create_entity(0, Vector{1, 1, 1}, -1, BODY);
        ASSERT_GE(last, 0);
    }
    EXPECT_EQ(physics.create_entity(0, Vector{1, 1, 1}, -1, BODY), -1);
    EXPECT_TRUE(capture.contains("Physics: No free entity"));
    physics.destroy_entity(last);
    physics.destroy_entity(last);
    physics.destroy_entity(-3);
    EXPECT_GE(physics.create_entity(0, Vector{1, 1, 1}, -1, BODY), 0) << "a freed number is used again";

    int32_t cursors[PHYS_FIND_CURSORS];
    for (int32_t& c : cursors) {
        c = physics.find_entity(Vector{0, 0, 0}, 10, 0, 0);
        ASSERT_GE(c, 0);
    }
    EXPECT_EQ(physics.find_entity(Vector{0, 0, 0}, 10, 0, 0), -1);
    EXPECT_TRUE(capture.contains("find cursors in use"));
    EXPECT_EQ(physics.find_first(-1), 0u);
    EXPECT_EQ(physics.find_next(-1), 0u);
    physics.find_done(-1);
    physics.find_done(cursors[3]);
    EXPECT_EQ(physics.find_first(cursors[3]), 0u) << "a freed cursor finds nothing";
    EXPECT_GE(physics.find_entity(Vector{0, 0, 0}, 10, 0, 0), 0);
}

TEST_F(PhysicsHall, FindListsObjectsWithinTheRadiusWhoseClassFlagsMatch)
{
    body(Vector{0, 0, 0}, Vector{100, 100, 50}, BODY, 0x101);
    body(Vector{0, 0, 0}, Vector{110, 100, 50}, BODY, 0x201);
    body(Vector{0, 0, 0}, Vector{100, 130, 50}, BODY, 0x102);
    body(Vector{0, 0, 0}, Vector{105, 100, 50}, BODY, 0);
    const int32_t c = physics.find_entity(Vector{100, 100, 50}, 20, 0xF00, 0x100);
    std::vector<uint32_t> found;
    for (uint32_t o = physics.find_first(c); o != 0 && found.size() < 10; o = physics.find_next(c)) {
        found.push_back(o);
    }
    EXPECT_EQ(found, std::vector<uint32_t>{0x101});
    EXPECT_EQ(physics.find_first(c), 0x101u) << "first restarts";
    physics.find_done(c);
}

TEST_F(PhysicsHall, EntitiesWithoutMotionIgnoreMotionSettersAndVolumesAreShared)
{
    const int32_t id = physics.create_entity(0, Vector{8, 8, 8}, -1, 0);
    physics.set_physical_thrust(id, Vector{1, 2, 3});
    physics.set_physical_mass(id, 5);
    physics.set_physical_step(id, 10, 1);
    Vector local = {4, 5, 6};
    physics.set_physical_local_thrust(id, local);
    EXPECT_EQ(local.x, 0.0f) << "the caller's vector is zeroed";
    EXPECT_EQ(physics.physical_ground_material(id), 0);
    EXPECT_EQ(physics.physical_entity_material(id), 0);
    EXPECT_EQ(at(id).flags & PHYS_STEP_SMOOTH, 0u);
    EXPECT_EQ(physics.get_tree_delta(id).x, 0.0f) << "tree 0 for a non-moving entity";
    const int32_t mover = physics.create_entity(0, Vector{15, 15, 27}, -1, BODY);
    EXPECT_EQ(physics.get_tree_delta(mover).z, 28.0f);
    EXPECT_FLOAT_EQ(at(mover).radius, 2.0f * std::sqrt(15.0f * 15 + 15 * 15 + 27 * 27));

    const int32_t a = physics.get_box_volume(STONE, Vector{1, 2, 3}, Vector{4, 5, 6});
    EXPECT_EQ(physics.get_box_volume(STONE, Vector{1, 2, 3}, Vector{4, 5, 6}), a);
    EXPECT_NE(physics.get_box_volume(STONE + 1, Vector{1, 2, 3}, Vector{4, 5, 6}), a);
    EXPECT_EQ(static_cast<uint32_t>(a) & 0xF0000000u, VOLUME_DYNAMIC);
    EXPECT_EQ(physics.map_model_volume(0), static_cast<int32_t>(VOLUME_MAP_MODEL));
    EXPECT_EQ(physics.map_model_volume(1), -1);

    // An entity's force: the same value neither stores nor wakes.
    const int32_t sleeper = body(Vector{8, 8, 8}, Vector{800, 800, 100});
    ticks(2);
    ASSERT_FALSE(at(sleeper).awake());
    physics.set_physical_force(sleeper, Vector{0, 0, 0});
    EXPECT_FALSE(at(sleeper).awake());
    physics.set_physical_force(sleeper, Vector{0, 0, 1});
    EXPECT_TRUE(at(sleeper).awake());
}

TEST(PhysicsMaterial, DefaultsHoldTheirRowsAsPerTickFactors)
{
    material_defaults();
    EXPECT_EQ(material_get(0), nullptr);
    const PhysicsMaterial& floor = *material_get(128);
    EXPECT_FLOAT_EQ(floor.ground_drag, 1.0f - std::exp(-20.0f / 70.0f));
    EXPECT_FLOAT_EQ(floor.ground_turn_drag, 1.0f - std::exp(-100.0f / 70.0f));
    EXPECT_FLOAT_EQ(floor.ground_slip, 1.0f - std::exp(-2.0f));
    EXPECT_FLOAT_EQ(floor.bounce, 0.5f);
    EXPECT_EQ(material_get(0x2180), &floor) << "only the low byte counts";
    for (const int32_t m : {60, 70, 80, 90}) {
        EXPECT_FLOAT_EQ(material_get(m)->density, 1.0f) << m;
        EXPECT_FLOAT_EQ(material_get(m)->traction, 0.4f) << m;
    }
    EXPECT_FLOAT_EQ(material_get(250)->density, 8.0f);
    EXPECT_FLOAT_EQ(material_get(220)->bounce, 1.5f);
    for (const int32_t m : {2, 61, 129, 254}) {
        const PhysicsMaterial& r = *material_get(m);
        EXPECT_EQ(r.density + r.drag + r.turn_drag + r.ground_drag + r.ground_turn_drag + r.ground_slip + r.bounce +
                      r.ground_traction + r.traction,
                  0.0f)
            << m;
    }
}

TEST(PhysicsClipPlanes, PlanesReplaceCombineAndFillUp)
{
    MotionRecord m;
    const Vector up = {0, 0, 1};
    ASSERT_TRUE(clip_planes_add(m, up, 0));
    ASSERT_TRUE(clip_planes_add(m, up, 2));
    EXPECT_EQ(m.clip_count, 1) << "the same facing replaces";
    EXPECT_FLOAT_EQ(m.clip_speeds[0], 2.005f);
    Vector v = {3, 4, -5};
    clip_planes_apply(m, v);
    EXPECT_FLOAT_EQ(v.z, 2.005f);
    EXPECT_FLOAT_EQ(v.x, 3.0f);
    ASSERT_TRUE(clip_planes_add(m, Vector{1, 0, 0}, 0));
    EXPECT_EQ(m.clip_count, 1) << "a perpendicular plane (dot 0) replaces too";

    // Planes facing away from one another are all kept, and the velocity
    // meets each at its speed.
    Vector n[3] = {{1, -0.3f, -0.3f}, {-0.3f, 1, -0.3f}, {-0.3f, -0.3f, 1}};
    for (Vector& normal : n) {
        vec_normalize(normal);
    }
    MotionRecord corner;
    for (int count = 1; count <= 3; ++count) {
        ASSERT_TRUE(clip_planes_add(corner, n[count - 1], 0.5f * count));
        ASSERT_EQ(corner.clip_count, count);
        v = Vector{5, -6, 7};
        clip_planes_apply(corner, v);
        for (int i = 0; i < count; ++i) {
            EXPECT_NEAR(vec_dot(n[i], v), 0.5f * (i + 1) + 0.005f, 1e-4f) << count << " planes, plane " << i;
        }
    }

    MotionRecord full;
    const Vector walls[4] = {{-1, 0, 0}, {-1, 0.1f, 0}, {-1, -0.1f, 0}, {-1, 0, 0.1f}};
    for (int i = 0; i < 4; ++i) {
        full.clip_normals[i] = walls[i];
    }
    full.clip_count = 4;
    EXPECT_FALSE(clip_planes_add(full, Vector{1, 0, 0}, 0)) << "a fifth plane is refused";
    EXPECT_EQ(full.clip_count, 4);
    v = Vector{1, 1, 1};
    clip_planes_apply(full, v);
    EXPECT_EQ(vec_dot(v, v), 0.0f) << "four planes leave no way";
}

TEST(PhysicsLocator, QueriesAgreeWithAPlainSearch)
{
    PhysicsLocator locator;
    locator.build(Vector{-500, -500, -100}, Vector{500, 500, 100});
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coord(-520, 520);
    std::uniform_real_distribution<float> size(0, 80);
    static PhysicalEntity entities[PHYS_ENTITIES];
    for (int32_t i = 0; i < PHYS_ENTITIES; ++i) {
        entities[i] = PhysicalEntity{};
        entities[i].number = i;
    }
    for (int round = 0; round < 200; ++round) {
        PhysicalEntity& e = entities[random() % PHYS_ENTITIES];
        e.position = Vector{coord(random), coord(random), coord(random) / 5};
        e.radius = size(random);
        if (random() % 5 == 0) {
            locator.unlink(&e);
        } else {
            locator.link(&e);
        }
        const Vector p = {coord(random), coord(random), coord(random) / 5};
        const float r = size(random);
        const Vector lo = {p.x - r, p.y - r, p.z - r};
        const Vector hi = {p.x + r, p.y + 2 * r, p.z + r};
        EntityList at_point;
        EntityList in_box;
        EntityList within;
        locator.at_point(p, at_point);
        locator.in_box(lo, hi, in_box);
        locator.within(p, r, within);
        int expected[3] = {0, 0, 0};
        for (const PhysicalEntity& o : entities) {
            if (o.node == nullptr) {
                continue;
            }
            const Vector d = {o.position.x - p.x, o.position.y - p.y, o.position.z - p.z};
            const float dd = vec_dot(d, d);
            expected[0] += dd <= o.radius * o.radius;
            expected[1] += o.position.x - o.radius <= hi.x && o.position.x + o.radius >= lo.x &&
                           o.position.y - o.radius <= hi.y && o.position.y + o.radius >= lo.y &&
                           o.position.z - o.radius <= hi.z && o.position.z + o.radius >= lo.z;
            expected[2] += dd <= r * r;
        }
        ASSERT_EQ(at_point.count, expected[0]) << round;
        ASSERT_EQ(in_box.count, expected[1]) << round;
        ASSERT_EQ(within.count, expected[2]) << round;
    }
}

namespace {

std::vector<std::string> tagged_lines;

void keep_tagged(uint32_t tag, const char* text, uintptr_t)
{
    tagged_lines.push_back(std::string(reinterpret_cast<const char*>(&tag), 4) + " " + text);
}

} // namespace

TEST_F(PhysicsHall, StatisticsLinesFollowPhStats)
{
    ConfigVariableList variables;
    ConfigVariableList* const saved = cvar_list;
    cvar_list = &variables;
    uint32_t identifier = 0;
    ASSERT_EQ(physics.init(&share, "maps/hall/volume.txt", &script, &identifier), 1);
    const TaggedHook previous = set_tagged_hook(keep_tagged, 0);
    tagged_lines.clear();
    body(Vector{8, 8, 8}, Vector{800, 800, 100});
    physics.tick();
    EXPECT_TRUE(tagged_lines.empty()) << "off by default";
    ASSERT_NE(variables.find("Ph_Stats"), nullptr);
    variables.find("Ph_Stats")->set_bool(1);
    physics.tick();
    ASSERT_EQ(tagged_lines.size(), 2u);
    EXPECT_EQ(tagged_lines[0].rfind("PKSt K-tick: locate ", 0), 0u) << tagged_lines[0];
    EXPECT_EQ(tagged_lines[1].rfind("PhSt Physics: locate ", 0), 0u) << tagged_lines[1];
    set_tagged_hook(previous, 0);
    physics.done();
    EXPECT_EQ(variables.find("Ph_Stats"), nullptr) << "released with the physics";
    cvar_list = saved;
}

TEST_F(PhysicsHall, AMissingVolumeFileFailsTheInit)
{
    uint32_t identifier = 0;
    EXPECT_EQ(physics.init(&share, "maps/none/volume.txt", &script, &identifier), 0);
    EXPECT_TRUE(capture.contains("Physics: Can't load file 'maps/none/volume.txt'"));
    EXPECT_FALSE(physics.running());
    EXPECT_EQ(physics.create_entity(0, Vector{1, 1, 1}, -1, BODY), -1);
    physics.tick();
}
