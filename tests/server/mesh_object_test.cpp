// Mesh objects: playback of their cycles tick by tick (loops, queues,
// freezes on a pose, reverse play, motion-driven rates, blends), poses set by
// scripts, the queries of the builtins, and their parts on the wire.
#include "class_fixture.h"
#include "server/mesh_physics.h"
#include "server/object_id.h"
#include "tools/tmm/tmm_writer.h"

#include <cmath>
#include <map>

namespace {

// Frames of 2.3 ticks: no frame ends on a tick within the first 22 ticks.
constexpr double FRAME_TICKS = 2.3;

tmm::Model anim_model(uint32_t flags = 0)
{
    tmm::Model m;
    m.poses = 32;
    m.flags = flags;
    m.size = {30, 30, 60};
    m.hook = {1, 2, 3};
    m.radius = 77;
    tmm::Cycle a;
    const double d = FRAME_TICKS / 70.0;
    a.frames = {{10, d}, {11, d}, {12, d}};
    a.divisor = 70; // the file holds ticks
    a.distance = 64;
    a.end_pose = 1;
    tmm::Cycle b;
    b.frames = {{20, d}, {21, d}};
    b.divisor = 70;
    b.end_pose = 2;
    m.cycles = {a, b};
    return m;
}

class FakePhysics final : public MeshPhysics {
public:
    bool forward_speeds(int32_t entity, float& plain, float& carried) const override
    {
        const auto found = speeds.find(entity);
        if (found == speeds.end()) {
            return false;
        }
        plain = found->second.first;
        carried = found->second.second;
        return true;
    }
    int32_t hull_count() const override { return static_cast<int32_t>(hulls.size()); }
    Vector hull_size(int32_t h) const override { return hulls[static_cast<size_t>(h)]; }

    std::map<int32_t, std::pair<float, float>> speeds;
    std::vector<Vector> hulls;
};

class MeshObjects : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_world());
        tree.write("models/anim.tmm", tmm::write_model(anim_model()));
        tree.write("models/blend.tmm", tmm::write_model(anim_model(SMESH_BLEND)));
        ASSERT_EQ(models.start(MESH_MODEL_MAX), 1);
        ASSERT_EQ(objects.start(&models, &physics, server.map, 8, 32), 1);
    }
    void TearDown() override
    {
        objects.stop();
        ServerFixture::TearDown();
    }

    uint32_t make(const char* model = "anim")
    {
        const int32_t stored = objects.create(tick, AUDIENCE_EVERYONE, false);
        EXPECT_GE(stored, 0);
        const uint32_t id = object_id(OBJCLASS_MESH, static_cast<uint32_t>(stored));
        const SObjArg name{0, 0.0, model};
        EXPECT_EQ(objects.set_property(tick, id, PROPERTY_MESH_MODEL, SObjArgs(&name, 1)), 1);
        return id;
    }
    const SMeshObject& object(uint32_t id) const { return objects.object(object_index_of(id)); }
    // The frames shown after each of n ticks.
    std::vector<int32_t> frames(uint32_t id, int n, std::vector<int32_t>* second = nullptr)
    {
        std::vector<int32_t> out;
        for (int i = 0; i < n; ++i) {
            objects.animate(++tick);
            out.push_back(object(id).frame1);
            if (second != nullptr) {
                second->push_back(object(id).frame2);
            }
        }
        return out;
    }

    int32_t tick = 0;
    FakePhysics physics;
    SMeshManager models;
    SMeshObjectManager objects;
};

using Frames = std::vector<int32_t>;

TEST_F(MeshObjects, ACycleLoopsAQueuedCycleWaitsAndAPoseHolds)
{
    const uint32_t id = make();
    EXPECT_EQ(objects.filter(object_index_of(id)).radius, 77.0f) << "the model's radius";
    EXPECT_FLOAT_EQ(objects.set_animation(id, 0, 1.0f, 0), static_cast<float>(3 * FRAME_TICKS / 70.0));
    Frames second;
    EXPECT_EQ(frames(id, 8, &second), (Frames{10, 10, 11, 11, 12, 12, 10, 10}));
    EXPECT_EQ(second, (Frames{11, 11, 12, 12, 1, 1, 11, 11})) << "the last frame blends towards the end pose";
    // Queued: cycle 0 plays to its end, then cycle 1 loops.
    EXPECT_FLOAT_EQ(objects.set_animation(id, 1, 2.0f, MESH_ANIM_QUEUE), static_cast<float>(FRAME_TICKS / 70.0));
    EXPECT_EQ(object(id).speed, 2.0f);
    objects.set_animation(id, 1, 1.0f, MESH_ANIM_QUEUE);
    second.clear();
    EXPECT_EQ(frames(id, 14, &second), (Frames{10, 11, 11, 12, 12, 20, 20, 20, 21, 21, 20, 20, 21, 21}));
    EXPECT_EQ(second.back(), 2) << "cycle 1 ends in pose 2";
    // Frozen on the pose of the frame it shows, for good.
    EXPECT_FLOAT_EQ(objects.set_animation(id, -1, 1.0f, 0), 1.0f);
    second.clear();
    EXPECT_EQ(frames(id, 150, &second), Frames(150, 21));
    EXPECT_EQ(second, Frames(150, 21));
}

TEST_F(MeshObjects, AQueuedFreezeEndsTheCycleOnItsEndPose)
{
    const uint32_t id = make();
    objects.set_animation(id, 0, 1.0f, 0);
    EXPECT_EQ(frames(id, 3), (Frames{10, 10, 11}));
    EXPECT_FLOAT_EQ(objects.set_animation(id, -1, 1.0f, MESH_ANIM_QUEUE), 1.0f);
    EXPECT_EQ(frames(id, 8), (Frames{11, 12, 12, 1, 1, 1, 1, 1}));
    // A freeze without a cycle, and a cycle beyond the model, change nothing.
    const uint32_t idle = make();
    EXPECT_EQ(objects.set_animation(idle, -1, 1.0f, 0), 0.0f);
    EXPECT_EQ(object(idle).active_cycle, -1);
    EXPECT_EQ(objects.set_animation(idle, 2 + 32, 1.0f, 0), 0.0f);
    EXPECT_EQ(objects.set_animation(id + OBJID_COUNTSTEP, 0, 1.0f, 0), 0.0f) << "a stale id";
}

TEST_F(MeshObjects, ANegativeSpeedPlaysBackwardsAndWrapsToTheCycleEnd)
{
    const uint32_t id = make();
    objects.set_animation(id, 0, -1.0f, 0);
    EXPECT_EQ(frames(id, 10), (Frames{12, 12, 11, 11, 10, 10, 12, 12, 12, 11}));
}

TEST_F(MeshObjects, ARateOfZeroChangesNothingAndSendsNothing)
{
    const uint32_t id = make();
    objects.set_animation(id, 1, 0.0f, 0);
    EXPECT_EQ(frames(id, 1), (Frames{20}));
    const int32_t stamp = object(id).frame_stamp;
    EXPECT_EQ(stamp, 1);
    EXPECT_EQ(frames(id, 20), Frames(20, 20));
    EXPECT_EQ(object(id).frame_stamp, stamp);
    EXPECT_EQ(object(id).time, 0.0f);
}

TEST_F(MeshObjects, RatesThatCannotBePlayedDoNotHoldTheTick)
{
    const uint32_t id = make();
    objects.set_animation(id, 0, 1e30f, 0);
    frames(id, 3);
    EXPECT_GE(object(id).time, 0.0f);
    objects.set_animation(id, 0, std::nanf(""), 0);
    frames(id, 3);
    EXPECT_TRUE(std::isfinite(object(id).time));
    objects.set_animation(id, 0, -1e30f, 0);
    frames(id, 3);
    EXPECT_GE(object(id).time, 0.0f);
}

TEST_F(MeshObjects, TheBlendCountsSixteenthsOfTheFrame)
{
    const uint32_t id = make("blend");
    objects.set_animation(id, 0, 1.0f, 0);
    frames(id, 1);
    EXPECT_EQ(object(id).blend, 6); // 1 / 2.3 of the frame
    frames(id, 1);
    EXPECT_EQ(object(id).blend, 13);
    frames(id, 1);
    EXPECT_EQ(object(id).blend, 4); // 0.7 / 2.3 into the next
    const uint32_t plain = make();
    objects.set_animation(plain, 0, 1.0f, 0);
    frames(plain, 2);
    EXPECT_EQ(object(plain).blend, 0) << "a model without the blend flag";
}

TEST_F(MeshObjects, MotionDrivenPlaybackFollowsTheCarriersForwardSpeed)
{
    // The cycle covers 64 units in 6.9 ticks: at 2 x 64 / (6.9 / 70) units a
    // second it plays twice as fast.
    const float twice = static_cast<float>(2.0 * 64.0 / (3 * FRAME_TICKS / 70.0));
    physics.speeds[5] = {twice, 0.0f};
    physics.speeds[6] = {0.0f, twice};
    const uint32_t plain = make();
    ASSERT_EQ(objects.bind(plain, 5), 1);
    objects.set_animation(plain, 0, 0.0f, MESH_ANIM_MOTION);
    EXPECT_EQ(frames(plain, 4), (Frames{10, 11, 12, 10}));
    // With weight 1 the carried speed counts.
    const uint32_t carried = make();
    ASSERT_EQ(objects.bind(carried, 6), 1);
    objects.set_animation(carried, 0, 1.0f, MESH_ANIM_MOTION);
    EXPECT_EQ(frames(carried, 4), (Frames{10, 11, 12, 10}));
    // An entity not in use, or no binding: the speed is the rate.
    const uint32_t lost = make();
    ASSERT_EQ(objects.bind(lost, 9), 1);
    objects.set_animation(lost, 0, 1.0f, MESH_ANIM_MOTION);
    EXPECT_EQ(frames(lost, 3), (Frames{10, 10, 11}));
    // A cycle that covers no distance stands still.
    objects.set_animation(plain, 1, 0.0f, MESH_ANIM_MOTION);
    EXPECT_EQ(frames(plain, 5), Frames(5, 20));
}

TEST_F(MeshObjects, PosesSetByScripts)
{
    const uint32_t id = make();
    struct Case {
        const char* name;
        int32_t f1, f2;
        double t;
        int result;
        int32_t frame1, frame2, blend;
    };
    const Case cases[] = {
        {"two poses half way", 3, 4, 0.5, 1, 3, 4, 8},
        {"the last pose", 31, 0, 1.0, 1, 31, 0, 15},
        {"frame 2 equal to the pose count", 0, 32, 0.0, 0, 31, 0, 15},
        {"a negative frame", -1, 0, 0.0, 0, 31, 0, 15},
        {"blend below 0", 1, 1, -2.0, 1, 1, 1, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        const SObjArg args[3] = {{k.f1, 0.0, nullptr}, {k.f2, 0.0, nullptr}, {0, k.t, nullptr}};
        EXPECT_EQ(objects.set_property(++tick, id, PROPERTY_MESH_POSE, args), k.result);
        EXPECT_EQ(object(id).frame1, k.frame1);
        EXPECT_EQ(object(id).frame2, k.frame2);
        EXPECT_EQ(object(id).blend, k.blend);
        const std::string warning =
            "Server: Mesh frame (" + std::to_string(k.f1) + ", " + std::to_string(k.f2) + ") out of range";
        EXPECT_EQ(capture.contains(warning), k.result == 0);
    }
    // Without a model there is one pose.
    const int32_t bare = objects.create(tick, AUDIENCE_EVERYONE, false);
    const uint32_t bare_id = object_id(OBJCLASS_MESH, static_cast<uint32_t>(bare));
    const SObjArg one[3] = {{1, 0.0, nullptr}, {0, 0.0, nullptr}, {0, 0.0, nullptr}};
    EXPECT_EQ(objects.set_property(tick, bare_id, PROPERTY_MESH_POSE, one), 0);
    const SObjArg zero[3] = {{0, 0.0, nullptr}, {0, 0.0, nullptr}, {0, 0.5, nullptr}};
    EXPECT_EQ(objects.set_property(tick, bare_id, PROPERTY_MESH_POSE, zero), 1);
    const SObjArg missing{0, 0.0, "missing"};
    EXPECT_EQ(objects.set_property(tick, bare_id, PROPERTY_MESH_MODEL, SObjArgs(&missing, 1)), 0);
    EXPECT_TRUE(capture.contains("Server: can't init mesh 'missing'"));
}

TEST_F(MeshObjects, QueriesOfTheBuiltins)
{
    const uint32_t id = make();
    EXPECT_EQ(objects.size_of(id).z, 60.0f);
    EXPECT_EQ(objects.pose_count_of(id), 32);
    EXPECT_EQ(objects.hook_of(id).z, 3.0f) << "no hulls: the hook as read";
    physics.hulls = {{64, 64, 128}, {32, 32, 56}, {16, 16, 16}};
    EXPECT_EQ(objects.hook_of(id).z, 7.0f) << "the nearest hull, 56 high, lifts it by 4";
    EXPECT_EQ(objects.hook_of(id).x, 1.0f);
    EXPECT_EQ(objects.tag_of(id, "weapon"), nullptr);
    const Vector zero = objects.model_point(id, 3);
    EXPECT_EQ(zero.x + zero.y + zero.z, 0.0f);
    // Ids of another class or not valid give the defaults.
    for (const uint32_t other : {object_id(OBJCLASS_SPRITE, object_index_of(id)), id + OBJID_COUNTSTEP}) {
        EXPECT_EQ(objects.size_of(other).z, 0.0f);
        EXPECT_EQ(objects.collision_size_of(other).z, 0.0f);
        EXPECT_EQ(objects.pose_count_of(other), 1);
        EXPECT_EQ(objects.hook_of(other).z, 0.0f);
        EXPECT_EQ(objects.set_animation(other, 0, 1.0f, 0), 0.0f);
    }
}

class MeshWire : public ClassFixture {};

TEST_F(MeshWire, TheModelNameGoesOnceThroughTheCacheAndPartsFollow)
{
    tree.write("models/anim.tmm", tmm::write_model(anim_model()));
    const int32_t a = create(OBJCLASS_MESH);
    ASSERT_EQ(set(a, PROPERTY_MESH_MODEL, {text("anim")}), 1);
    ASSERT_EQ(set(a, PROPERTY_MESH_LIGHTING, {int_arg(0x00F0A050), real(0.5), real(0.25)}), 1);
    const int32_t bare = create(OBJCLASS_MESH);
    sync();
    std::optional<UpdateRecord> r = record(a);
    ASSERT_TRUE(r && r->mesh.name);
    EXPECT_TRUE(r->mesh.name->data);
    EXPECT_EQ(r->mesh.name->text, "anim");
    EXPECT_FALSE(r->mesh.frame);
    EXPECT_EQ(r->mesh.colour, 0xFA5u);
    ASSERT_TRUE(r->mesh.light);
    EXPECT_EQ(*r->mesh.light, (std::array<uint32_t, 3>{7, 2, 0}));
    EXPECT_EQ(view(bare)->name, "none");
    // A second object of the model names it by its block alone.
    const int32_t b = create(OBJCLASS_MESH);
    ASSERT_EQ(set(b, PROPERTY_MESH_MODEL, {text("ANIM")}), 1);
    ASSERT_EQ(set(b, PROPERTY_MESH_TRANSPARENCY, {real(0.5)}), 1);
    EXPECT_EQ(server.mesh_objects.set_animation(static_cast<uint32_t>(b), 0, 1.0f, 0),
              static_cast<float>(3 * FRAME_TICKS / 70.0));
    sync(3);
    r = record(b);
    ASSERT_TRUE(r && r->mesh.name);
    EXPECT_FALSE(r->mesh.name->data);
    EXPECT_EQ(r->mesh.name->index, record(a) ? record(a)->mesh.name->index : r->mesh.name->index);
    EXPECT_EQ(view(b)->name, "anim");
    ASSERT_TRUE(r->mesh.frame);
    EXPECT_EQ((*r->mesh.frame)[0], 10u);
    EXPECT_EQ((*r->mesh.frame)[1], 11u);
    EXPECT_EQ(*r->mesh.light, (std::array<uint32_t, 3>{7, 4, 15}));
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
    // The animation runs in the world tick: the client sees the frames move on.
    sync(2);
    ASSERT_TRUE(view(b)->state.mesh.frame);
    EXPECT_EQ((*view(b)->state.mesh.frame)[0], 12u);
}

} // namespace

namespace {

TEST_F(MeshWire, TheServersPhysicsGivesHullsAndForwardSpeeds)
{
    const VolumeSet* const set = server.physics.volume_set();
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(server.mesh_physics.hull_count(), set->trees);
    for (int32_t h = 0; h < set->trees; ++h) {
        EXPECT_EQ(server.mesh_physics.hull_size(h).z, set->hulls[h].z);
    }
    float plain = -1.0f;
    float carried = -1.0f;
    EXPECT_FALSE(server.mesh_physics.forward_speeds(-1, plain, carried));
    EXPECT_FALSE(server.mesh_physics.forward_speeds(200, plain, carried)) << "no such entity";
    const int32_t still = server.physics.create_entity(0, Vector{8, 8, 8}, -1, 0);
    ASSERT_GE(still, 0);
    EXPECT_FALSE(server.mesh_physics.forward_speeds(still, plain, carried)) << "no motion record";
    const int32_t moving = server.physics.create_entity(0, Vector{8, 8, 8}, -1, PHYS_MOVING);
    ASSERT_GE(moving, 0);
    EXPECT_TRUE(server.mesh_physics.forward_speeds(moving, plain, carried));
    EXPECT_EQ(plain, 0.0f);
    EXPECT_EQ(carried, 0.0f);
}

} // namespace
