// Visual object and model builtins called from scripts: what they make,
// move and pose on the server, what the client then receives, their answers,
// and the bad ids that end the program.
#include "builtin_fixture.h"
#include "class_fixture.h"

#include "script/kio.h"
#include "server/mesh_physics.h"
#include "server/object_id.h"
#include "tools/tmm/tmm_writer.h"

#include <cmath>
#include <limits>

namespace {

// A forwarder of four cells (an id, then three): one more than forwarding_program takes.
std::string forward4(const std::string& function, const std::string& builtin)
{
    return ".global " + function + "\n.func " + function + ", 64\n    pushargsofs 4\n    load3\n    pushargs\n" +
           "    load1\n    callnative @@" + builtin + ", 16\n    pushresult3\n    ret3\n";
}

const std::string& visual_program()
{
    static const std::string text = forwarding_program(
        {
            {"mesh", "create_mesh_model", 1},
            {"sprite", "create_sprite", 1},
            {"bsp", "create_bsp_model", 1},
            {"destroy", "destroy_visual", 1},
            {"unbind", "unbind_visual", 1},
            {"reset", "reset_interpolation", 1},
            {"bind", "bind_visual", 2},
            {"audience", "set_visual_client", 2},
            {"size", "get_size", 1},
            {"hook", "get_hook", 1},
            {"poses", "get_model_poses", 1},
            {"point", "get_model_point", 2},
            {"tag", "get_model_tag", 2},
            {"transparency", "set_model_transparency", 2},
        },
        forward4("position", "set_visual_position") + forward4("angles", "set_visual_angles") +
            forward4("pose", "set_model_pose") + forward4("animation", "set_model_animation") +
            forward4("lighting", "set_model_lighting") + SCRATCH_DATA);
    return text;
}

// Sizes chosen so that the hull nearest to the model is the map's third (16 16 28).
tmm::Model walker()
{
    tmm::Model m = tmm::demo_walker();
    m.size = {30, 30, 60};
    m.collision_size = {20, 20, 40};
    m.hook = {1, 2, 3};
    m.radius = 50;
    return m;
}

// More tags than scripts get cells for.
tmm::Model tagged()
{
    tmm::Model m;
    for (int t = 0; t < 70; ++t) {
        m.tags.push_back({"t" + std::to_string(t), 1000 + t});
    }
    return m;
}

constexpr uint32_t NO_ID = static_cast<uint32_t>(-1);
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();

class VisualBuiltins : public BuiltinTextsOn<ClassFixture> {
protected:
    std::string scripts() const override { return visual_program(); }
    void SetUp() override
    {
        BuiltinTextsOn<ClassFixture>::SetUp();
        tree.write("models/walker.tmm", tmm::write_model(walker()));
        tree.write("models/tagged.tmm", tmm::write_model(tagged()));
    }

    // A script's object of the call, placed in the first room.
    uint32_t make(const char* function, const char* name)
    {
        const uint32_t id = call(function, {put_text(name)})[0];
        EXPECT_NE(id, NO_ID) << name;
        call("position", {id, cell(120), cell(120), cell(64)});
        return id;
    }
    const SObjCommon& common(uint32_t id) const
    {
        const SObjCommon* const o = server.mirror.get_common(static_cast<int32_t>(id));
        EXPECT_NE(o, nullptr);
        return *o;
    }
    const SMeshObject& mesh(uint32_t id) const { return server.mesh_objects.object(object_index_of(id)); }
    int32_t used(const SObjManager& m) const
    {
        int32_t n = 0;
        for (int32_t i = m.head; i >= 0 && n <= m.max_objects; i = m.common[i].next) {
            ++n;
        }
        return n;
    }
};

TEST_F(VisualBuiltins, CreationsReachEveryClientWithTheirNames)
{
    const uint32_t walker_id = make("mesh", "walker");
    const uint32_t sprite_id = make("sprite", "twelve_chars");
    EXPECT_EQ(object_class_of(walker_id), OBJCLASS_MESH);
    EXPECT_EQ(object_class_of(sprite_id), OBJCLASS_SPRITE);
    EXPECT_EQ(common(walker_id).audience, AUDIENCE_EVERYONE);
    EXPECT_EQ(common(walker_id).flags & SOBJF_TRANSIENT, 0u);
    EXPECT_STREQ(mesh(walker_id).model->name, "walker");
    sync();
    ASSERT_NE(view(walker_id), nullptr);
    EXPECT_EQ(view(walker_id)->name, "walker");
    ASSERT_NE(view(sprite_id), nullptr);
    EXPECT_EQ(view(sprite_id)->name, "twelve_ch") << "a sprite keeps its first 9 characters";
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
}

TEST_F(VisualBuiltins, AModelThatCannotBeSetLeavesNoObject)
{
    const int32_t meshes = used(server.mesh_objects);
    capture.clear();
    EXPECT_EQ(call("mesh", {put_text("missing")})[0], NO_ID);
    EXPECT_TRUE(capture.contains("Server: can't init mesh 'missing'"));
    const size_t held = player.objects.size();
    sync();
    EXPECT_EQ(player.objects.size(), held) << "never sent";
    EXPECT_EQ(used(server.mesh_objects), meshes) << "released";
}

TEST_F(VisualBuiltins, AFullClassAnswersTheCreationsNegativeId)
{
    const uint32_t name = put_text("s");
    for (int32_t n = used(server.sprites); n < server.sprites.max_objects; ++n) {
        ASSERT_NE(call("sprite", {name})[0], NO_ID);
    }
    EXPECT_EQ(call("sprite", {name})[0], NO_ID);
}

TEST_F(VisualBuiltins, BspModelsAnswerTheObjectTheMapLoadMade)
{
    const int32_t models = server.bsp_objects.max_objects;
    ASSERT_GE(models, 1);
    EXPECT_EQ(call("bsp", {0})[0], NO_ID) << "the world has no object";
    // Stand-in for a mover: the generated maps have the world alone.
    ASSERT_EQ(server.bsp_objects.create_at(0, AUDIENCE_EVERYONE), 1);
    EXPECT_EQ(call("bsp", {0})[0], object_id(OBJCLASS_BSP, 0));
}

TEST_F(VisualBuiltins, PositionAndAnglesGoToTheCarrierFrameInArgumentOrder)
{
    const uint32_t id = make("sprite", "ball");
    struct Case {
        const char* what;
        float a, b, c;
        float want[3]; // fractions of a turn
    };
    const float quarter = static_cast<float>(M_PI / 2);
    const Case cases[] = {
        {"each angle in its place", quarter, 2 * quarter, 3 * quarter, {0.25f, 0.5f, 0.75f}},
        {"negative and whole turns wrap", -quarter, 4 * quarter, 9 * quarter, {0.75f, 0.0f, 0.25f}},
        {"NaN and infinities are no turn", NaN, INF, -INF, {0.0f, 0.0f, 0.0f}},
        {"a turn added changes nothing this large", 1e30f, -1e30f, 0.0f, {0.0f, 0.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        call("angles", {id, cell(c.a), cell(c.b), cell(c.c)});
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(common(id).own_angles[k], c.want[k], 1e-6f) << k;
        }
    }
    call("angles", {id, cell(quarter), cell(0), cell(0)});
    call("position", {id, cell(100), cell(140), cell(30)});
    EXPECT_EQ(common(id).offset.x, 100.0f);
    EXPECT_EQ(common(id).offset.y, 140.0f);
    EXPECT_EQ(common(id).offset.z, 30.0f);
    sync();
    const ObjectView* const v = view(id);
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->state.offset[0], 100.0);
    EXPECT_DOUBLE_EQ(v->state.offset[1], 140.0);
    EXPECT_DOUBLE_EQ(v->state.offset[2], 30.0);
    EXPECT_DOUBLE_EQ(v->state.own[0], 0.25);
}

TEST_F(VisualBuiltins, ABoundObjectFollowsItsEntityUntilUnbound)
{
    const uint32_t id = make("mesh", "walker");
    call("position", {id, cell(10), cell(0), cell(0)});
    const int32_t entity = server.physics.create_entity(0, Vector{8, 8, 8}, -1, 0);
    ASSERT_GE(entity, 0);
    server.physics.set_physical_position(entity, Vector{100, 100, 40});
    server.physics.set_physical_angles(entity, static_cast<float>(M_PI / 2), 0, 0);
    call("bind", {id, static_cast<uint32_t>(entity)});
    EXPECT_EQ(common(id).physical, entity);
    sync();
    EXPECT_EQ(common(id).position.x, 100.0f);
    EXPECT_EQ(common(id).position.y, 100.0f);
    EXPECT_EQ(common(id).position.z, 40.0f);
    const ObjectView* const v = view(id);
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->state.position[0], 100.0);
    EXPECT_DOUBLE_EQ(v->state.position[2], 40.0);
    EXPECT_DOUBLE_EQ(v->state.carrier[0], 0.25) << "the carrier's heading";
    Vector world{};
    server.mirror.get_position(static_cast<int32_t>(id), world);
    EXPECT_NEAR(world.x, 100.0f, 1e-3f);
    EXPECT_NEAR(world.y, 110.0f, 1e-3f) << "the offset turned with the carrier";

    call("unbind", {id});
    EXPECT_EQ(common(id).physical, -1);
    server.physics.set_physical_position(entity, Vector{200, 200, 40});
    sync();
    EXPECT_EQ(common(id).position.x, 100.0f) << "no longer carried";
}

TEST_F(VisualBuiltins, AResetOfInterpolationIsSentWithTheNextUpdate)
{
    const uint32_t id = make("sprite", "ball");
    sync();
    call("reset", {id});
    sync();
    const std::optional<UpdateRecord> r = record(id);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->create());
    EXPECT_NE(r->mask & 0x800u, 0u);
}

TEST_F(VisualBuiltins, TheAudienceChoosesTheClients)
{
    fake_client::Options o;
    o.name = "second";
    FakeClient second(&hive, "local", o);
    second.keep_updates = true;
    ASSERT_TRUE(spawn({&player, &second}));
    const int second_slot = slot_of("second");
    const int player_slot = slot_of("fake");
    ASSERT_GE(second_slot, 0);
    server.mirror.set_position(server.client[second_slot].camera_id, Vector{128.0f, 128.0f, 64.0f});
    const uint32_t id = make("sprite", "ball");
    auto both = [&] {
        for (int i = 0; i < 4; ++i) {
            frame({&player, &second});
        }
        player.receive();
        second.receive();
    };
    struct Case {
        const char* what;
        int32_t audience;
        bool player_holds, second_holds;
    };
    const Case cases[] = {
        {"every client", AUDIENCE_EVERYONE, true, true},
        {"no client", AUDIENCE_NOBODY, false, false},
        {"the one client", player_slot, true, false},
        {"every client but one", static_cast<int32_t>(AUDIENCE_ALL_BUT) + player_slot, false, true},
        {"neither bit 16 alone nor a number", 0x20000 + second_slot, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        call("audience", {id, static_cast<uint32_t>(c.audience)});
        EXPECT_EQ(common(id).audience, c.audience);
        both();
        EXPECT_EQ(player.objects.count(id), c.player_holds ? 1u : 0u);
        EXPECT_EQ(second.objects.count(id), c.second_holds ? 1u : 0u);
    }
    second.close();
}

TEST_F(VisualBuiltins, DestroyedObjectsLeaveTheClientAndStaleIdsAreReported)
{
    const uint32_t id = make("mesh", "walker");
    sync();
    ASSERT_NE(view(id), nullptr);
    call("destroy", {id});
    EXPECT_NE(common(id).flags & SOBJF_DESTROY, 0u);
    sync();
    EXPECT_EQ(view(id), nullptr);
    EXPECT_EQ(server.mirror.get_common(static_cast<int32_t>(id)), nullptr) << "released once the leave was seen";
    capture.clear();
    call("destroy", {id});
    char text[64];
    std::snprintf(text, sizeof text, "Server: Object id %x is not valid in destroy() !", id);
    EXPECT_TRUE(capture.contains(text));
    // Setters on the stale id change nothing and end nothing.
    call("position", {id, cell(1), cell(2), cell(3)});
    call("unbind", {id});
}

TEST_F(VisualBuiltins, ModelQueriesAnswerTheModelOrTheirDefaults)
{
    const uint32_t walker_id = make("mesh", "walker");
    const uint32_t sprite_id = make("sprite", "ball");
    const uint32_t stale = make("mesh", "walker");
    call("destroy", {stale});
    sync();
    ASSERT_EQ(server.mesh_physics.hull_count(), 3);
    ASSERT_EQ(server.mesh_physics.hull_size(2).z, 28.0f);
    struct Case {
        const char* what;
        uint32_t id;
        Vector size, hook;
        uint32_t poses;
    };
    const Case cases[] = {
        {"the model; the hook stands on the nearest hull", walker_id, {30, 30, 60}, {1, 2, 3 + 60 - 28}, 10},
        {"a sprite", sprite_id, {0, 0, 0}, {0, 0, 0}, 1},
        {"a destroyed mesh object", stale, {0, 0, 0}, {0, 0, 0}, 1},
        {"a class without a manager", 0xC00001, {0, 0, 0}, {0, 0, 0}, 1},
        {"a mesh index beyond the manager", object_id(OBJCLASS_MESH, 0xFFFF), {0, 0, 0}, {0, 0, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Vector size = call_vector("size", {c.id});
        EXPECT_EQ(size.x, c.size.x);
        EXPECT_EQ(size.y, c.size.y);
        EXPECT_EQ(size.z, c.size.z);
        const Vector hook = call_vector("hook", {c.id});
        EXPECT_EQ(hook.x, c.hook.x);
        EXPECT_EQ(hook.y, c.hook.y);
        EXPECT_EQ(hook.z, c.hook.z);
        EXPECT_EQ(call("poses", {c.id})[0], c.poses);
        const auto point = call("point", {c.id, 3});
        EXPECT_EQ(point, (std::array<uint32_t, 3>{0, 0, 0})) << "always the zero vector";
        EXPECT_FLOAT_EQ(call_float("animation", {c.id, 0, cell(1.0f), 0}), c.poses > 1 ? 0.8f : 0.0f);
    }
}

TEST_F(VisualBuiltins, BuiltinsWithoutAResultLeaveTheRegister)
{
    const uint32_t id = make("mesh", "walker");
    const int32_t entity = server.physics.create_entity(0, Vector{8, 8, 8}, -1, 0);
    ASSERT_GE(entity, 0);
    const std::array<uint32_t, 3> size = call("size", {id});
    ASSERT_EQ(as_float(size[2]), 60.0f);
    struct Case {
        const char* function;
        std::vector<uint32_t> args;
    };
    const Case cases[] = {
        {"position", {id, cell(1), cell(2), cell(3)}},
        {"angles", {id, cell(1), cell(2), cell(3)}},
        {"audience", {id, static_cast<uint32_t>(AUDIENCE_EVERYONE)}},
        {"bind", {id, static_cast<uint32_t>(entity)}},
        {"unbind", {id}},
        {"reset", {id}},
        {"pose", {id, 1, 2, cell(0.5f)}},
        {"lighting", {id, 0xFFFFFF, cell(1.0f), cell(1.0f)}},
        {"transparency", {id, cell(0.5f)}},
        {"destroy", {id}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        EXPECT_EQ(call(c.function, c.args), size);
    }
}

TEST_F(VisualBuiltins, AnimationAnswersTheNextCyclesDurationOverTheSpeed)
{
    const uint32_t id = make("mesh", "walker");
    struct Case {
        const char* what;
        int32_t cycle;
        float speed;
        int32_t flags;
        float want;
        int32_t active, next;
    };
    // Two cycles of 0.8 s, then ten poses of 1 s.
    const Case cases[] = {
        {"a cycle at twice the speed", 0, 2.0f, 0, 0.4f, 0, 0},
        {"queued behind the active one", 1, 0.5f, MESH_ANIM_QUEUE, 1.6f, 0, 1},
        {"a pose, at once", 2 + 4, 1.0f, 0, 1.0f, 6, 6},
        {"beyond the poses: nothing", 2 + 10, 1.0f, 0, 0.0f, 6, 6},
        {"at speed 0: held, for ever", 0, 0.0f, 0, INF, 0, 0},
        {"backwards", 1, -2.0f, 0, -0.4f, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FLOAT_EQ(call_float("animation", {id, static_cast<uint32_t>(c.cycle), cell(c.speed),
                                                 static_cast<uint32_t>(c.flags)}),
                        c.want);
        EXPECT_EQ(mesh(id).active_cycle, c.active);
        EXPECT_EQ(mesh(id).next_cycle, c.next);
    }
    EXPECT_EQ(mesh(id).speed, -2.0f);
    EXPECT_EQ(mesh(id).anim_flags, 0);
    call("animation", {id, 0, cell(1.0f), MESH_ANIM_QUEUE | MESH_ANIM_MOTION});
    EXPECT_EQ(mesh(id).anim_flags, MESH_ANIM_QUEUE | MESH_ANIM_MOTION);
}

TEST_F(VisualBuiltins, PoseLightingAndTransparencyReachTheClient)
{
    const uint32_t id = make("mesh", "walker");
    sync();
    call("pose", {id, 3, 4, cell(0.5f)});
    call("lighting", {id, 0x00ABCDEF, cell(0.5f), cell(0.25f)});
    call("transparency", {id, cell(0.5f)});
    EXPECT_EQ(mesh(id).frame1, 3);
    EXPECT_EQ(mesh(id).frame2, 4);
    EXPECT_EQ(mesh(id).blend, 8);
    EXPECT_EQ(mesh(id).colour, 0xACE) << "four bits of each colour byte";
    EXPECT_EQ(mesh(id).level, 7);
    EXPECT_EQ(mesh(id).spread, 2);
    EXPECT_EQ(mesh(id).transparency, 15);
    sync();
    const ObjectView* const v = view(id);
    ASSERT_NE(v, nullptr);
    ASSERT_TRUE(v->state.mesh.frame);
    EXPECT_EQ(*v->state.mesh.frame, (std::array<uint32_t, 3>{3, 4, 8}));
    ASSERT_TRUE(v->state.mesh.colour);
    EXPECT_EQ(*v->state.mesh.colour, 0xACEu);
    ASSERT_TRUE(v->state.mesh.light);
    EXPECT_EQ(*v->state.mesh.light, (std::array<uint32_t, 3>{7, 2, 15}));

    // A frame beyond the poses is refused and changes nothing; so are these
    // properties on a sprite.
    capture.clear();
    call("pose", {id, 0, 10, cell(0.0f)});
    EXPECT_TRUE(capture.contains("Server: Mesh frame (0, 10) out of range"));
    EXPECT_EQ(mesh(id).frame2, 4);
    const uint32_t sprite_id = make("sprite", "ball");
    call("pose", {sprite_id, 0, 0, cell(0.0f)});
    call("lighting", {sprite_id, 0, cell(0.0f), cell(0.0f)});
    call("transparency", {sprite_id, cell(1.0f)});
}

TEST_F(VisualBuiltins, TagsAreReadFromScriptMemory)
{
    const uint32_t walker_id = make("mesh", "walker");
    const uint32_t tagged_id = make("mesh", "tagged");
    const uint32_t sprite_id = make("sprite", "ball");
    kcontext_t* const c = server.k_context;
    const uint32_t weapon = call("tag", {walker_id, put_text("weapon")})[0];
    const uint32_t head = call("tag", {walker_id, put_text("head")})[0];
    ASSERT_NE(weapon, 0u);
    ASSERT_NE(head, 0u);
    EXPECT_EQ(k_load32(c, weapon), 3u);
    EXPECT_EQ(k_load32(c, head), 7u);
    k_store32(c, weapon, 99);
    EXPECT_EQ(call("tag", {walker_id, put_text("weapon")})[0], weapon) << "one cell per tag, for the map";
    EXPECT_EQ(k_load32(c, weapon), 3u) << "and the value restored";
    const uint32_t t63 = call("tag", {tagged_id, put_text("t63")})[0];
    ASSERT_NE(t63, 0u);
    EXPECT_EQ(k_load32(c, t63), 1063u);
    struct Case {
        const char* what;
        uint32_t id;
        const char* name;
    };
    const Case none[] = {
        {"no tag of the name", walker_id, "nothing"},
        {"names compare with case", walker_id, "Weapon"},
        {"a sprite", sprite_id, "weapon"},
        {"a class without a manager", 0xC00000, "weapon"},
    };
    for (const Case& n : none) {
        SCOPED_TRACE(n.what);
        EXPECT_EQ(call("tag", {n.id, put_text(n.name)})[0], 0u);
    }
    capture.clear();
    EXPECT_EQ(call("tag", {tagged_id, put_text("t64")})[0], 0u) << "beyond the cells a model has";
    EXPECT_TRUE(capture.contains("Server: Tag 't64' of 'tagged' is beyond what scripts can read"));
}

TEST_F(VisualBuiltins, AnObjectsVolumeIsItsModelsBoxOrItsMapModel)
{
    const uint32_t walker_id = make("mesh", "walker");
    EXPECT_EQ(get_object_volume(server, -1, 0), -1);
    EXPECT_EQ(get_object_volume(server, static_cast<int32_t>(object_id(OBJCLASS_BSP, 0)), 0), 0x10000000);
    EXPECT_EQ(get_object_volume(server, static_cast<int32_t>(object_id(OBJCLASS_BSP, 7)), 0), -1)
        << "a model the map does not have";
    // Collision size 20 20 40 as half size, raised by its z less the hull's (28).
    const int32_t box = get_object_volume(server, static_cast<int32_t>(walker_id), 5);
    EXPECT_EQ(box & 0xF0000000, 0x20000000);
    EXPECT_EQ(server.physics.get_box_volume(5, Vector{0, 0, 12}, Vector{20, 20, 40}), box) << "the same box";
    EXPECT_NE(server.physics.get_box_volume(6, Vector{0, 0, 12}, Vector{20, 20, 40}), box) << "other contents";
}

// Every builtin's bad ids, as the script breaks them.
TEST_F(VisualBuiltins, BadIdsEndTheProgramNamingTheBuiltin)
{
    const uint32_t id = make("mesh", "walker");
    const uint32_t unmanaged = 0xC00001;
    const uint32_t no_manager = 0x000001;
    const uint32_t free_entity = 200;
    ASSERT_EQ(server.physics.entity(static_cast<int32_t>(free_entity)), nullptr);
    const uint32_t name = put_text("walker");
    const uint32_t one = cell(1.0f);
    using Case = ScriptEnd;
    const Case cases[] = {
        {"destroy", {NO_ID}, "KRun: @destroy_visual: visual_id >= 0 failed at"},
        {"destroy", {unmanaged}, "KRun: @destroy_visual: class_manager != nullptr failed"},
        {"unbind", {0x80000000}, "KRun: @unbind_visual: visual_id >= 0 failed"},
        {"unbind", {no_manager}, "KRun: @unbind_visual: class_manager != nullptr failed"},
        {"reset", {NO_ID}, "KRun: @reset_interpolation: visual_id >= 0 failed"},
        {"reset", {unmanaged}, "KRun: @reset_interpolation: class_manager"},
        {"bind", {NO_ID, 0}, "KRun: @bind_visual: visual_id >= 0 failed"},
        {"bind", {id, 256}, "KRun: @bind_visual: ent failed"},
        {"bind", {id, NO_ID}, "KRun: @bind_visual: ent failed"},
        {"bind", {id, free_entity}, "KRun: @bind_visual: ent failed"},
        {"audience", {NO_ID, 0}, "KRun: @set_visual_client: visual_id >= 0 failed"},
        {"position", {NO_ID, 0, 0, 0}, "KRun: @set_visual_position: visual_id >= 0 failed"},
        {"position", {unmanaged, 0, 0, 0}, "KRun: @set_visual_position: class_manager"},
        {"angles", {NO_ID, 0, 0, 0}, "KRun: @set_visual_angles: visual_id >= 0 failed"},
        {"size", {NO_ID}, "KRun: @get_size: visual_id >= 0 failed"},
        {"hook", {NO_ID}, "KRun: @get_hook: visual_id >= 0 failed"},
        {"poses", {NO_ID}, "KRun: @get_model_poses: visual_id >= 0 failed"},
        {"point", {NO_ID, 0}, "KRun: @get_model_point: visual_id >= 0 failed"},
        {"tag", {NO_ID, name}, "KRun: @get_model_tag: visual_id >= 0 failed"},
        {"animation", {NO_ID, 0, one, 0}, "KRun: @set_model_animation: visual_id >= 0 failed"},
        {"pose", {NO_ID, 0, 0, 0}, "KRun: @set_model_pose: visual_id >= 0 failed"},
        {"pose", {unmanaged, 0, 0, 0}, "KRun: @set_model_pose: class_manager"},
        {"lighting", {NO_ID, 0, one, one}, "KRun: @set_model_lighting: visual_id >= 0 failed"},
        {"transparency", {NO_ID, one}, "KRun: @set_model_transparency: visual_id >= 0 failed"},
        {"transparency", {no_manager, one}, "KRun: @set_model_transparency: class_manager"},
        {"bsp", {NO_ID}, "KRun: @create_bsp_model: model >= 0 && model < bsp_objects->max_objects failed"},
        {"bsp", {static_cast<uint32_t>(server.bsp_objects.max_objects)}, "KRun: @create_bsp_model: model >= 0"},
    };
    expect_each_ends_the_script(server.k_context, cases);
}

} // namespace
