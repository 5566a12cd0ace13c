// What the engine's own server can send that the client must take without
// stopping: a light and a lens flare whose lamp never reached the client, a
// create sent again (not yet acknowledged) that names another lamp, and,
// on a client whose renderer has no software screen, a mesh made while no
// renderer is bound and an icon removed while it was never shown.
#include "hall_fixture.h"
#include "recording_renderer.h"
#include "renderer/icon_picture.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace server_property;
using EntityEdgeTest = HallTest;

std::string hex_id(int32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(id));
    return text;
}

TEST_F(EntityEdgeTest, ALampThatNeverReachedTheClientIsReportedAndLightsNothing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Frame before = window();
    // The lamp goes before any update carried it; the light and the flare still name it.
    const int32_t lamp = server_create(*engine_, 2);
    const int32_t light = create(3, {480.0f, 256.0f, 128.0f});
    set(light, LIGHT_LAMP, {i(lamp)});
    set(light, LIGHT_INTENSITY, {r(2.0)});
    const Vector aside = {300.0f, 150.0f, 128.0f};
    const int32_t flare = create(4, aside);
    set(flare, FLARE_LAMP, {i(lamp)});
    server_destroy(*engine_, lamp);
    ASSERT_NO_FATAL_FAILURE(settle());

    EXPECT_EQ(capture_->count("Lamp: Unknown lamp " + hex_id(lamp)), 2) << "once for the light, once for the flare";
    ASSERT_GE(slot_of(light), 0);
    ASSERT_GE(slot_of(flare), 0);
    EXPECT_EQ(slot_of(lamp), -1);
    EXPECT_EQ(entities().lights.record(slot_of(light)).lamp, nullptr);
    EXPECT_EQ(entities().lights.record(slot_of(light)).linked_leaves, 0) << "a light without a lamp lights nothing";
    EXPECT_EQ(entities().flares.record(slot_of(flare)).lamp, nullptr);
    EXPECT_EQ(changed(before, window(), around(WALL_CENTRE, 40)), 0) << "the wall behind the light as it was";
    EXPECT_GT(changed(before, window(), around(aside, 2)), 0) << "the flare glows in its own colour";
    EXPECT_EQ(client()->damaged_messages(), 0);
}

TEST_F(EntityEdgeTest, ACreateSentAgainNamingAnotherLampIsReportedAndIgnored)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const int32_t first = server_create(*engine_, 2);
    const int32_t second = server_create(*engine_, 2);
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_GE(slot_of(first), 0);
    ASSERT_GE(slot_of(second), 0);

    // Two updates before the client reads either: both carry the light's
    // create, the second with the lamp changed in between.
    const int32_t light = create(3, {480.0f, 256.0f, 128.0f});
    set(light, LIGHT_LAMP, {i(first)});
    clock_.advance_seconds(1.0 / 70.0);
    server_frame(*engine_);
    set(light, LIGHT_LAMP, {i(second)});
    capture_->clear();
    ASSERT_NO_FATAL_FAILURE(settle());

    ASSERT_GE(slot_of(light), 0);
    EXPECT_EQ(capture_->count("Lamp: Got duplicate create message"), 1);
    EXPECT_EQ(capture_->count("Lamp: Create message names another lamp (" + hex_id(second) + ")"), 1);
    EXPECT_EQ(entities().lights.record(slot_of(light)).lamp, entities().dynamic_lamps.lamp(slot_of(first)))
        << "the light keeps the lamp of its first create";
    EXPECT_EQ(client()->damaged_messages(), 0);
}

// The engine's client on a renderer without a software screen or projection.
class NoScreenTest : public HallTest {
protected:
    void SetUp() override
    {
        HallTest::SetUp();
        set_client_renderer_factory(RecordingRenderer::make);
    }
    void TearDown() override
    {
        HallTest::TearDown();
        set_client_renderer_factory(nullptr);
    }
    // Connected, without a look at the frame.
    void start_blind()
    {
        ASSERT_NO_FATAL_FAILURE(start_connected());
        capture_ = std::make_unique<PrintCapture>();
        capture_->show_all();
    }
};

TEST_F(NoScreenTest, MeshesAndIconsWorkWhileNoRendererIsBound)
{
    ASSERT_NO_FATAL_FAILURE(start_blind());
    ASSERT_EQ(client()->renderer()->projection(), nullptr);
    ASSERT_EQ(client()->renderer()->screen_manager(), nullptr);
    const int32_t mesh = create(5, MIDDLE);
    set(mesh, MESH_MODEL, {t("demo/figure")});
    set(mesh, MESH_POSE, {i(1), i(2), r(0.25)});
    const int32_t icon = server_create(*engine_, 11);
    set(icon, ICON_RECTANGLE, {i(0), i(0), i(6400), i(4800)});
    set(icon, ICON_NAME, {t("marker")});
    ASSERT_NO_FATAL_FAILURE(settle());

    ASSERT_GE(slot_of(mesh), 0);
    const MeshModel* const model = entities().meshes.model(slot_of(mesh));
    ASSERT_NE(model, nullptr) << "the model's row, kept for a renderer to come";
    EXPECT_STREQ(model->name, "figure");
    const MeshObject& object = entities().meshes.record(slot_of(mesh));
    EXPECT_EQ(object.owner, nullptr) << "not attached without a renderer";
    EXPECT_EQ(object.pose[0].frame1, 1);
    EXPECT_EQ(object.pose[0].frame2, 2);
    EXPECT_EQ(object.pose[0].t, 0.25f);
    ASSERT_GE(slot_of(icon), 0);
    const IconHandle& handle = entities().icons.handle(slot_of(icon));
    EXPECT_EQ(handle.id, -1) << "never shown";
    EXPECT_EQ(handle.width, 6400);
    EXPECT_STREQ(handle.owner->name(), "marker");

    // Removed while hidden: no screen to take it from, no assertion.
    server_destroy(*engine_, icon);
    server_destroy(*engine_, mesh);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(icon), -1);
    EXPECT_EQ(slot_of(mesh), -1);
    EXPECT_EQ(client()->damaged_messages(), 0);
}

} // namespace
