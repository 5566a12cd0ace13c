// Objects of every drawn class made, changed and removed on the engine's own
// server show in the frame the software renderer draws: map lamps and
// dynamic lights light the walls, lens flares glow, meshes show their poses
// and the server's animation, sprites, particles and BSP objects show, an
// emitter removed without force draws until its particles die, the camera
// moves, turns, zooms and tints the view, and icons show on the screen. The
// camera stands at the west end of a hall and looks east at its far wall.
#include "client/client_map.h"
#include "hall_fixture.h"
#include "world/shared_map.h"

#include <gtest/gtest.h>

namespace {

using namespace server_property;
using EntityFrameTest = HallTest;

TEST_F(EntityFrameTest, MapLampsLightTheWallAndGoOff)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const int32_t lamp = server_object_at(*engine_, 1, 1);
    ASSERT_GE(lamp, 0) << "the hall's lamp 1";
    const Region lit = around(WALL_CENTRE, 12);
    const Region far = around(WALL_FAR, 12);
    const Frame on = window();

    set(lamp, LAMP_VALUE, {r(0.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame off = window();
    EXPECT_EQ(entities().map_lamps.lamp(1)->intensity, 0.0f);
    EXPECT_LT(mean(off, lit).sum(), 0.8 * mean(on, lit).sum()) << "the wall darkens where the lamp lit it";
    EXPECT_EQ(changed(on, off, far), 0) << "and stays as it was beyond the lamp's reach";

    set(lamp, LAMP_VALUE, {r(1.0)});
    set(lamp, LAMP_COLOR, {i(0x0000FF)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame red = window();
    EXPECT_EQ(entities().map_lamps.lamp(1)->colour, 0x0000FFu);
    const Rgb white_lit = mean(on, lit);
    const Rgb red_lit = mean(red, lit);
    EXPECT_GT(red_lit.r, 0.9 * white_lit.r) << "a red lamp keeps the red";
    EXPECT_LT(red_lit.g, 0.8 * white_lit.g) << "and takes green and blue away";
    EXPECT_LT(red_lit.b, 0.8 * white_lit.b);
    EXPECT_EQ(changed(on, red, far), 0);

    set(lamp, LAMP_COLOR, {i(0xFFFFFF)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(on, window(), whole()), 0) << "white and full again: the first frame";
}

TEST_F(EntityFrameTest, DynamicLightsLightTheWallWhereTheyStand)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Vector left_wall = {512.0f, 150.0f, 100.0f};
    const Vector right_wall = {512.0f, 362.0f, 100.0f};
    const Region left = around(left_wall, 10);
    const Region right = around(right_wall, 10);
    const Frame dark = window();

    // A green lamp, and a light of it 32 units off the wall with a reach of 19.
    const int32_t lamp = server_create(*engine_, 2);
    set(lamp, LAMP_COLOR, {i(0x00FF00)});
    const int32_t light = create(3, {480.0f, 150.0f, 100.0f});
    set(light, LIGHT_LAMP, {i(lamp)});
    set(light, LIGHT_INTENSITY, {r(0.2)});
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_GE(slot_of(light), 0);
    EXPECT_EQ(entities().lights.record(slot_of(light)).lamp, entities().dynamic_lamps.lamp(slot_of(lamp)));
    EXPECT_EQ(changed(dark, window(), whole()), 0) << "too short to reach the wall";

    // A longer reach alone relinks the light: it lights the wall before it, green.
    set(light, LIGHT_INTENSITY, {r(1.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame lit = window();
    EXPECT_EQ(entities().lights.record(slot_of(light)).reach, 100.0f);
    const Rgb before = mean(dark, left);
    const Rgb after = mean(lit, left);
    EXPECT_GT(after.g - before.g, 20.0) << "green added where the light stands";
    EXPECT_GT(after.g - before.g, 2.0 * (after.r - before.r));
    EXPECT_GT(after.g - before.g, 2.0 * (after.b - before.b));
    EXPECT_EQ(changed(dark, lit, right), 0) << "and nothing on the other side";

    // The lamp off: the light gives nothing; on again: the same light as before.
    set(lamp, LAMP_VALUE, {r(0.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(dark, window(), whole()), 0) << "dark with its lamp off";
    set(lamp, LAMP_VALUE, {r(1.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(lit, window(), whole()), 0);

    // Moved across the hall, the light goes with it.
    server_place(*engine_, light, 480.0f, 362.0f, 100.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame moved = window();
    EXPECT_EQ(changed(dark, moved, left), 0) << "the left of the wall dark again";
    EXPECT_GT(mean(moved, right).g - mean(dark, right).g, 20.0) << "the right lit";

    // Its lamp removed: the light stays, without a lamp, and lights nothing.
    server_destroy(*engine_, lamp);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(lamp), -1);
    ASSERT_GE(slot_of(light), 0);
    EXPECT_EQ(entities().lights.record(slot_of(light)).lamp, nullptr);
    EXPECT_EQ(changed(dark, window(), whole()), 0);

    server_destroy(*engine_, light);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(light), -1);
    EXPECT_EQ(changed(dark, window(), whole()), 0);
}

TEST_F(EntityFrameTest, LensFlaresGlowInTheirLampsColour)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Region glow = around(MIDDLE, 2);
    const Frame plain = window();
    const int32_t lamp = server_object_at(*engine_, 1, 1);
    const int32_t flare = create(4, MIDDLE);
    set(flare, FLARE_LAMP, {i(lamp)});
    set(flare, FLARE_LIMIT, {r(64.0)});
    set(flare, FLARE_EFFECTS, {r(1.0), r(2.0), r(0.0), r(1.0), r(0.0), r(1.0)});
    set(flare, FLARE_COLOR, {i(0xFF0000)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame white = window();
    ASSERT_GE(slot_of(flare), 0);
    const LampSpriteRender& record = entities().flares.record(slot_of(flare));
    EXPECT_EQ(record.colour, 0xFF0000u);
    EXPECT_EQ(record.lamp, entities().map_lamps.lamp(1));
    const Rgb p = mean(plain, glow);
    const Rgb w = mean(white, glow);
    EXPECT_GT(w.sum() - p.sum(), 3 * 60.0) << "a glow over the wall";
    EXPECT_GT(std::min({w.r, w.g, w.b}), 200.0) << "white at its middle, the lamp's colour, not the flare's own blue";

    // A blue lamp gives a blue glow.
    set(lamp, LAMP_COLOR, {i(0xFF0000)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Rgb blue = mean(window(), glow);
    EXPECT_GT(blue.b, blue.r + 60.0);
    EXPECT_GT(blue.b, blue.g + 60.0);
    set(lamp, LAMP_COLOR, {i(0xFFFFFF)});

    // Without a lamp the flare's own colour, changed to green.
    set(flare, FLARE_LAMP, {i(-1)});
    set(flare, FLARE_COLOR, {i(0x00FF00)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(record.lamp, nullptr);
    const Rgb green = mean(window(), glow);
    EXPECT_GT(green.g, green.r + 60.0);
    EXPECT_GT(green.g, green.b + 60.0);

    // A red dynamic lamp, then removed under the flare: its own green again.
    const int32_t dynamic = server_create(*engine_, 2);
    set(dynamic, LAMP_COLOR, {i(0x0000FF)});
    set(flare, FLARE_LAMP, {i(dynamic)});
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_GE(slot_of(dynamic), 0);
    EXPECT_EQ(record.lamp, entities().dynamic_lamps.lamp(slot_of(dynamic)));
    const Rgb red = mean(window(), glow);
    EXPECT_GT(red.r, red.g + 60.0);
    server_destroy(*engine_, dynamic);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(record.lamp, nullptr) << "the flare forgets a lamp that goes";
    const Rgb own = mean(window(), glow);
    EXPECT_GT(own.g, own.r + 60.0);

    // Its lamp off: the glow shows nothing.
    set(flare, FLARE_LAMP, {i(lamp)});
    set(lamp, LAMP_VALUE, {r(0.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(record.lamp, entities().map_lamps.lamp(1));
    const Frame off = window();
    server_destroy(*engine_, flare);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(flare), -1);
    EXPECT_EQ(changed(off, window(), whole()), 0) << "a glow of a dark lamp shows nothing";
    set(lamp, LAMP_VALUE, {r(1.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(plain, window(), whole()), 0) << "removed: the wall as it was";
}

TEST_F(EntityFrameTest, MeshesShowTheirPoses)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Vector at = {300.0f, 256.0f, 100.0f};
    const Region figure = around({300.0f, 256.0f, 120.0f}, 40);
    const Frame empty = window();
    const int32_t mesh = create(5, at);
    set(mesh, MESH_MODEL, {t("demo/figure")});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame upright = window();
    ASSERT_GE(slot_of(mesh), 0);
    const MeshModel* const model = entities().meshes.model(slot_of(mesh));
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->resource, "demo");
    EXPECT_STREQ(model->name, "figure");
    EXPECT_GT(changed(empty, upright, figure), area(figure) / 20) << "the figure stands in the hall";
    EXPECT_EQ(changed(empty, upright, around(WALL_FAR, 10)), 0);

    set(mesh, MESH_POSE, {i(2), i(2), r(0.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame crouching = window();
    EXPECT_EQ(entities().meshes.record(slot_of(mesh)).pose[0].frame1, 2);
    EXPECT_GT(changed(upright, crouching, figure), 50) << "another pose, other pixels";

    set(mesh, MESH_POSE, {i(0), i(2), r(0.5)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame between = window();
    EXPECT_EQ(entities().meshes.record(slot_of(mesh)).pose[0].t, 0.5f);
    EXPECT_GT(changed(upright, between, figure), 0) << "half way between the two";
    EXPECT_GT(changed(crouching, between, figure), 0);

    set(mesh, MESH_POSE, {i(0), i(0), r(0.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(upright, window(), whole()), 0) << "the first pose again";

    // A white ambient colour lights the figure up.
    set(mesh, MESH_LIGHTING, {i(0xFFFFFF), r(0.5), r(0.5)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(entities().meshes.record(slot_of(mesh)).ambient, 0xFFFFFFu);
    const Frame bright = window();
    EXPECT_GT(mean(bright, figure).sum(), mean(upright, figure).sum() + 10.0);
    EXPECT_EQ(changed(upright, bright, around(WALL_FAR, 10)), 0);
    set(mesh, MESH_LIGHTING, {i(0), r(0.5), r(0.5)});

    // The server plays the cycle: the pose the client draws changes with the ticks.
    EXPECT_GT(server_animate(*engine_, mesh, 0, 1.0f), 0.0f);
    int32_t poses_seen = 0;
    Frame last = window();
    for (int k = 0; k < 30; ++k) {
        ASSERT_NO_FATAL_FAILURE(frame());
        const Frame now = window();
        poses_seen += changed(last, now, figure) > 50 ? 1 : 0;
        last = now;
    }
    EXPECT_GE(poses_seen, 3) << "the figure bends on its own";
    EXPECT_EQ(changed(empty, last, around(WALL_FAR, 10)), 0);

    server_turn(*engine_, mesh, 1.5707963f, 0.0f, 0.0f);
    set(mesh, MESH_POSE, {i(0), i(0), r(0.0)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_GT(changed(upright, window(), figure), 50) << "turned";

    server_destroy(*engine_, mesh);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(mesh), -1);
    EXPECT_EQ(changed(empty, window(), whole()), 0);
}

TEST_F(EntityFrameTest, SpritesShowTheirTexture)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Region centre = around(MIDDLE, 2);
    const Frame empty = window();
    const int32_t sprite = create(6, MIDDLE);
    set(sprite, SPRITE_NAME, {t("dot")});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame shown = window();
    ASSERT_GE(slot_of(sprite), 0);
    EXPECT_NE(entities().sprites.texture(slot_of(sprite)), nullptr);
    const Rgb c = mean(shown, centre);
    EXPECT_GT(c.b, 150.0) << "the blue dot over the wall";
    EXPECT_LT(c.r + c.g, 0.5 * c.b);

    server_place(*engine_, sprite, 300.0f, 200.0f, 128.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(empty, window(), centre), 0) << "moved away";
    EXPECT_GT(mean(window(), around({300.0f, 200.0f, 128.0f}, 2)).b, 150.0);

    server_destroy(*engine_, sprite);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(sprite), -1);
    EXPECT_EQ(changed(empty, window(), whole()), 0);
}

TEST_F(EntityFrameTest, EmittersRunAndOutliveTheirRemovalUntilTheirParticlesDie)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Region cloud = around(MIDDLE, 16);
    const Frame empty = window();
    const int32_t particles = create(8, MIDDLE);
    set(particles, PARTICLE_CREATE, {i(64)});
    set(particles, PARTICLE_COLOR, {i(0x00FFFF), i(0x000000)});
    set(particles, PARTICLE_SIZE, {r(1.0), r(0.0)});
    set(particles, PARTICLE_SHRINK, {r(1.0)});
    set(particles, PARTICLE_SPAWN_SPHERE, {r(0.0), r(0.0), r(0.0), r(16.0), r(0.0), r(0.0), r(0.0), r(32.0)});
    set(particles, PARTICLE_START, {i(64), r(0.3), r(0.5), r(0.0), r(0.2)});
    set(particles, PARTICLE_LIFETIME, {r(0.5)});
    set(particles, PARTICLE_FLAGS, {i(5)});
    ASSERT_NO_FATAL_FAILURE(frames(20));
    const Frame running = window();
    ASSERT_GE(slot_of(particles), 0);
    EXPECT_EQ(entities().emitters.record(slot_of(particles)).pool_size(), 64);
    EXPECT_GT(changed(empty, running, cloud), 20) << "particles over the wall";
    EXPECT_EQ(changed(empty, running, around(WALL_FAR, 10)), 0);
    ASSERT_NO_FATAL_FAILURE(frames(5));
    EXPECT_GT(changed(running, window(), cloud), 0) << "and they move";
    const Rgb yellow = mean(running, cloud);
    EXPECT_GT(yellow.g - mean(empty, cloud).g, 5.0) << "yellow particles add green";

    // Blue from now on: the cloud turns from yellow to blue.
    set(particles, PARTICLE_COLOR, {i(0xFF0000), i(0x000000)});
    ASSERT_NO_FATAL_FAILURE(frames(6));
    const Rgb blue = mean(window(), cloud);
    EXPECT_GT(blue.b - yellow.b, 5.0);
    EXPECT_LT(blue.g, yellow.g - 5.0);

    // Removed by the server: the emitter stops but what flies keeps flying and drawing.
    server_destroy(*engine_, particles);
    ASSERT_NO_FATAL_FAILURE(frames(2));
    const int kept = slot_of(particles);
    ASSERT_GE(kept, 0) << "kept while particles live";
    EXPECT_NE(entities().emitters.common(kept).state & COBJ_REMOVED, 0u);
    EXPECT_GT(changed(empty, window(), cloud), 0) << "still drawn";
    for (int k = 0; k < 200 && slot_of(particles) >= 0; ++k) {
        ASSERT_NO_FATAL_FAILURE(frame());
    }
    EXPECT_EQ(slot_of(particles), -1) << "freed with its last particle";
    EXPECT_EQ(changed(empty, window(), whole()), 0);
}

TEST_F(EntityFrameTest, TheCameraDrivesTheView)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const ScreenProjection& p = projection();
    EXPECT_FLOAT_EQ(p.position.x, EYE.x);
    EXPECT_FLOAT_EQ(p.position.y, EYE.y);
    EXPECT_FLOAT_EQ(p.position.z, EYE.z);
    EXPECT_NEAR(p.forward.x, 1.0f, 1e-3f) << "looking east";
    const Frame east = window();

    server_turn(*engine_, camera_, -EAST, 0.0f, 0.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_NEAR(p.forward.x, -1.0f, 1e-3f) << "looking west";
    const Frame west = window();
    EXPECT_GT(changed(east, west, whole()), area(whole()) / 4) << "the other end of the hall";

    server_turn(*engine_, camera_, EAST, 0.0f, 0.0f);
    server_place(*engine_, camera_, 256.0f, 256.0f, 128.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_FLOAT_EQ(p.position.x, 256.0f);
    const Frame near = window();

    EXPECT_GT(changed(east, near, whole()), area(whole()) / 4) << "nearer the wall";
    server_place(*engine_, camera_, EYE.x, EYE.y, EYE.z);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(east, window(), whole()), 0) << "back where it stood";

    // A zoom narrows the view: the wall's middle grows.
    set(camera_, CAMERA_ZOOM, {r(0.25), r(0.1875)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(entities().camera.view.half_x, 0.25f);
    EXPECT_EQ(entities().camera.view.half_y, 0.1875f);
    const Frame zoomed = window();
    EXPECT_GT(changed(east, zoomed, whole()), area(whole()) / 4);
    set(camera_, CAMERA_ZOOM, {r(0.5), r(0.375)});
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(east, window(), whole()), 0);

    // A red filter tints the whole window.
    set(camera_, CAMERA_FILTER, {i(static_cast<int32_t>(0x800000FFu))});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame tinted = window();
    const Rgb before = mean(east, whole());
    const Rgb after = mean(tinted, whole());
    EXPECT_GT(after.r - before.r, 2.0 * std::abs(after.g - before.g) + 10.0) << "redder";
    EXPECT_GT(after.r - before.r, 2.0 * std::abs(after.b - before.b) + 10.0);
}

// Icons are drawn over the screen, not the 3-D window: read the frame buffer.
TEST_F(EntityFrameTest, IconsShowOnTheScreen)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const KVideoMode& mode = *client()->video_mode();
    const auto screen = [&]() {
        Frame out;
        for (int32_t y = 0; y < mode.yres; ++y) {
            const uint32_t* const row = mode.framebuffer + mode.line_offset[y];
            out.insert(out.end(), row, row + mode.xres);
        }
        return out;
    };
    // The lower right quarter of the screen, its left and right halves.
    const auto differ = [&](const Frame& a, const Frame& b, int32_t x0, int32_t x1) {
        int32_t n = 0;
        for (int32_t y = mode.yres / 2; y < mode.yres; ++y) {
            for (int32_t x = x0; x < x1; ++x) {
                const size_t k = static_cast<size_t>(y * mode.xres + x);
                n += a[k] != b[k] ? 1 : 0;
            }
        }
        return n;
    };
    const int32_t mid = mode.xres / 2;
    const int32_t three_quarters = mode.xres * 3 / 4;
    const Frame before = screen();
    const int32_t icon = server_create(*engine_, 11);
    set(icon, ICON_RECTANGLE, {i(12800), i(9600), i(12800), i(9600)});
    set(icon, ICON_NAME, {t("marker")});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame whole_icon = screen();
    ASSERT_GE(slot_of(icon), 0);
    const IconHandle& handle = entities().icons.handle(slot_of(icon));
    EXPECT_EQ(handle.x, 12800);
    EXPECT_EQ(handle.width, 12800);
    EXPECT_GE(handle.id, 0);
    const int32_t quarter = (mode.xres / 4) * (mode.yres / 2);
    EXPECT_GT(differ(before, whole_icon, mid, three_quarters), quarter / 4) << "the marker over its rectangle";
    EXPECT_GT(differ(before, whole_icon, three_quarters, mode.xres), quarter / 4);
    EXPECT_EQ(differ(before, whole_icon, 0, mid), 0) << "and nothing left of it";

    // An extent of half the width shows the left half.
    set(icon, ICON_CLIP, {i(6400)});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame half = screen();
    EXPECT_EQ(handle.extent, 6400);
    EXPECT_EQ(differ(whole_icon, half, mid, three_quarters), 0) << "the left half stays";
    EXPECT_EQ(differ(before, half, three_quarters, mode.xres), 0) << "the right half is gone";

    server_destroy(*engine_, icon);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(slot_of(icon), -1);
    EXPECT_EQ(differ(before, screen(), 0, mode.xres), 0);
}

// A BSP object is the map's model of that number, placed by the server.
TEST_F(EntityFrameTest, BspObjectsShowWhereTheServerPlacesThem)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const int32_t mover = server_object_at(*engine_, 7, 1);
    ASSERT_GE(mover, 0) << "the side room's mover";
    const Frame away = window();
    const Region hall = around({282.0f, 256.0f, 48.0f}, 20);

    server_place(*engine_, mover, 450.0f, 0.0f, 0.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_GE(slot_of(mover), 0);
    EXPECT_EQ(client()->world().shared()->models.entity(1).position.x, 450.0f);
    const Frame in_hall = window();
    EXPECT_GT(changed(away, in_hall, hall), area(hall) / 2) << "the box stands in the hall";
    EXPECT_EQ(changed(away, in_hall, around(WALL_FAR, 10)), 0);

    server_place(*engine_, mover, 450.0f, 100.0f, 0.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame aside = window();
    EXPECT_GT(changed(in_hall, aside, hall), area(hall) / 2) << "moved aside";
    EXPECT_GT(changed(away, aside, around({282.0f, 356.0f, 48.0f}, 10)), 0);

    server_place(*engine_, mover, 0.0f, 0.0f, 0.0f);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(changed(away, window(), whole()), 0) << "back in the side room";
}

// A new mode stops every class and starts it again on the new renderer:
// colours kept in the screen's pixel layout are converted back and forth,
// and the same mode again draws the same frame.
TEST_F(EntityFrameTest, ObjectsAreDrawnAlikeAfterANewMode)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const Frame empty = window();
    const int32_t map_lamp = server_object_at(*engine_, 1, 1);
    set(map_lamp, LAMP_COLOR, {i(0x0000FF)});
    const int32_t lamp = server_create(*engine_, 2);
    set(lamp, LAMP_COLOR, {i(0x00FF00)});
    const int32_t light = create(3, {480.0f, 150.0f, 100.0f});
    set(light, LIGHT_LAMP, {i(lamp)});
    set(light, LIGHT_INTENSITY, {r(1.0)});
    const int32_t flare = create(4, {300.0f, 380.0f, 160.0f});
    set(flare, FLARE_COLOR, {i(0xFF00FF)});
    const int32_t mesh = create(5, {300.0f, 256.0f, 100.0f});
    set(mesh, MESH_MODEL, {t("demo/figure")});
    const int32_t sprite = create(6, {300.0f, 150.0f, 160.0f});
    set(sprite, SPRITE_NAME, {t("dot")});
    ASSERT_NO_FATAL_FAILURE(settle());
    const Frame first = window();
    EXPECT_GT(changed(empty, first, whole()), area(whole()) / 10);

    Client* const c = client();
    ASSERT_EQ(c->set_mode(c->current_driver(), 400, 300), 1);
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_EQ(projection().xsize, 400);
    ASSERT_EQ(c->set_mode(c->current_driver(), 320, 240), 1);
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_EQ(projection().xsize, 320);
    EXPECT_EQ(changed(first, window(), whole()), 0) << "the same frame in the same mode";
    for (const int32_t id : {light, flare, mesh, sprite, lamp}) {
        server_destroy(*engine_, id);
    }
}

} // namespace
