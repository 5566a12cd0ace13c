// Camera, filter and console builtins called from scripts.
#include "builtin_fixture.h"

#include "core/cons_cmd.h"
#include "script/kio.h"
#include "server/object_id.h"

namespace {

const std::string& client_program()
{
    static const std::string text = forwarding_program(
        {
            {"chain", "chain_filters", 2},
            {"command", "server_command", 1},
            {"close", "exit", 0},
            {"camera_filter", "set_camera_filter", 2},
            {"camera_zoom", "set_camera_zoom", 3},
            {"camera_position", "get_camera_position", 1},
            {"unbind", "unbind_camera", 1},
            {"bind", "bind_camera", 2},
        },
        // (client, x, y, z, a, b, c): seven cells, one more than a forwarder takes.
        ".global place\n.func place, 64\n    pushargsofs 16\n    load3\n    pushargsofs 4\n    load3\n"
        "    pushargs\n    load1\n    callnative @@set_camera, 28\n    ret\n" +
            std::string(SCRATCH_DATA));
    return text;
}

class ClientBuiltins : public BuiltinTexts {
protected:
    void SetUp() override
    {
        BuiltinTexts::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_world(client_program().c_str()));
    }
};

TEST_F(ClientBuiltins, ChainFiltersLaysTheSecondOverTheFirst)
{
    struct Case {
        uint32_t a, b, want;
    };
    const Case cases[] = {
        {0x80FF0000, 0x800000FF, 0xC05500AA}, // weights 1/3 and 2/3, strength 0.75
        {0x80123456, 0x00ABCDEF, 0x80123456}, // b shows nothing: a
        {0x00123456, 0x40ABCDEF, 0x40ABCDEF}, // a shows nothing: b
        {0x00123456, 0x00ABCDEF, 0x00123456}, // neither shows: the first, no division
        {0xFF000000, 0xFFFFFFFF, 0xFFFEFEFE}, // an opaque b nearly hides a
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.a << " " << c.b);
        EXPECT_EQ(call("chain", {c.a, c.b})[0], c.want);
    }
}

TEST_F(ClientBuiltins, ServerCommandAndExitQueueConsoleText)
{
    server.cmd->exec_buffer();
    ASSERT_EQ(server.cmd->buffer_used(), 0u);
    call("command", {put_text("echo one")});
    call("command", {put_text("echo two\n")});
    call("close");
    EXPECT_STREQ(server.cmd->buffer(), "echo one\necho two\nCloseMap\n");
}

TEST_F(ClientBuiltins, CameraBuiltinsSteerTheClientsCameraObject)
{
    fake_client::Options o;
    o.name = "cam";
    FakeClient player(&hive, "local", o);
    ASSERT_TRUE(spawn({&player}));
    ASSERT_GE(slot_of("cam"), 0);
    const uint32_t slot = static_cast<uint32_t>(slot_of("cam"));
    const int32_t camera = server.client[slot].camera_id;
    ASSERT_GE(camera, 0);
    const int32_t index = static_cast<int32_t>(static_cast<uint32_t>(camera) & OBJID_INDEXMASK);

    call("place", {slot, cell(10), cell(20), cell(30), cell(0.1f), cell(0.2f), cell(0.3f)});
    const auto at = call("camera_position", {slot});
    EXPECT_EQ(as_float(at[0]), 10.0f);
    EXPECT_EQ(as_float(at[1]), 20.0f);
    EXPECT_EQ(as_float(at[2]), 30.0f);

    // Bound, the offset is carried by the entity.
    const int32_t entity = server.physics.create_entity(0, Vector{8, 8, 8}, -1, 0);
    ASSERT_GE(entity, 0);
    server.physics.set_physical_position(entity, Vector{100, 200, 64});
    call("bind", {slot, static_cast<uint32_t>(entity)});
    server.mirror.update_carrier_position();
    const auto carried = call("camera_position", {slot});
    EXPECT_NEAR(as_float(carried[0]), 110.0f, 1e-3f);
    EXPECT_NEAR(as_float(carried[1]), 220.0f, 1e-3f);
    EXPECT_NEAR(as_float(carried[2]), 94.0f, 1e-3f);
    call("unbind", {slot});
    server.physics.set_physical_position(entity, Vector{0, 0, 0});
    server.mirror.update_carrier_position();
    const auto left = call("camera_position", {slot});
    EXPECT_NEAR(as_float(left[0]), 110.0f, 1e-3f) << "no longer carried";

    call("camera_filter", {slot, 0x80FF0000});
    EXPECT_EQ(server.cameras.camera(index).filter, 0x203F0000u) << "kept in six bits a byte";
    call("camera_zoom", {slot, cell(1.5f), cell(0.25f)});
    EXPECT_EQ(server.cameras.camera(index).zoom1, 384);
    EXPECT_EQ(server.cameras.camera(index).zoom2, 64);
}

TEST_F(ClientBuiltins, CameraOfAClientWithoutOneOrABadEntityEndsTheProgram)
{
    fake_client::Options o;
    o.name = "cam";
    FakeClient player(&hive, "local", o);
    ASSERT_TRUE(spawn({&player}));
    ASSERT_GE(slot_of("cam"), 0);
    const uint32_t slot = static_cast<uint32_t>(slot_of("cam"));
    using Case = ScriptEnd;
    const Case cases[] = {
        {"camera_position", {slot + 1}, "KRun: @get_camera_position: camera_id >= 0 failed"},
        {"unbind", {static_cast<uint32_t>(-1)}, "KRun: @unbind_camera: client >= 0 failed"},
        {"camera_filter", {32, 0}, "KRun: @set_camera_filter: client < SERVER_MAXCLIENTS failed"},
        {"bind", {slot, 256}, "KRun: @bind_camera: s.physics.entity\\(ent\\) != nullptr failed"},
        {"bind", {slot, static_cast<uint32_t>(-3)}, "KRun: @bind_camera: s.physics.entity"},
    };
    expect_each_ends_the_script(server.k_context, cases);
}

} // namespace
