// The world in OpenGL: generated maps loaded by the world loader, drawn by
// the world renderer through the OpenGL polygon renderer on llvmpipe and
// read back. Every texture is the blank one here, so most frames are drawn
// in flat colours, where each polygon shows a colour of its own that a ray
// caster over the same polygons predicts.
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "core/view_frame.h"
#include "fsys/fsys.h"
#include "gl/gl_bump_images.h"
#include "gl/gl_fan_start.h"
#include "gl/gl_texture_manager.h"
#include "gl_fixture.h"
#include "support/colour_words.h"
#include "host/host_gl.h"
#include "renderer/poly_renderer.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "renderer/texture.h"
#include "tests/fsys/temp_tree.h"
#include "tools/mapgen/mapgen.h"
#include "tools/viewer/camera_pose.h"
#include "world/bsp_tree.h"
#include "world/entity_link.h"
#include "world/light_source.h"
#include "world/shared_map.h"
#include "world/view/bsp_renderer.h"
#include "world/view/algo_texture.h"
#include "world/view/client_world.h"
#include "world/view/render_object.h"
#include "world/volume_set.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Two rooms joined by a door, the far one open to the sky, one light in each.
constexpr const char* TWO_ROOMS = R"(
id 0x4c57
tile 64
room near 0 0 0 256 256 128
room far 256 0 0 512 256 128
door near far 256 64 0 256 192 112
open far
light 128 128 96 2 0.9 255 255 255
light 384 128 96 2 0.9 255 255 255
)";

std::string source_text(const std::string& relative)
{
    const char* const root = std::getenv("OSTREL_SOURCE_DIR");
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using Rgb = std::array<uint8_t, 3>;

// The flat colour of a polygon for R_Cells 0.
Rgb flat_colour(const MapPolygon* polygon)
{
    const auto n = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(polygon) >> 4);
    return {static_cast<uint8_t>(13 * n + 67), static_cast<uint8_t>(23 * n + 43), static_cast<uint8_t>(42 * n + 12)};
}

struct Pose {
    Vector position;
    float yaw;
    float pitch;
};

class GLWorldTest : public GLVideoTest {
protected:
    void SetUp() override
    {
        GLVideoTest::SetUp();
        capture.show_all();
        tree_.enter();
        base_ = cvar_list->link(CVTYPE_STRING, 0x40, "Base", "kavrin", 1);
        fsys = new FSys;
        ASSERT_EQ(fsys->init(), 1);
        saved_sine_ = sine_table;
        ASSERT_EQ(sine_.init(4096), 1);
        sine_table = &sine_;
        ASSERT_EQ(share_.register_type(MAP_SHARE_ID, SharedMap::create), 1);
        ASSERT_EQ(share_.register_type(VOLUME_SHARE_ID, VolumeSet::create), 1);
    }

    void TearDown() override
    {
        renderer_.clear_world();
        if (world_.screen != nullptr) {
            world_.detach_screen();
        }
        world_.close_map();
        renderer_.close();
        projection_.close();
        sine_table = saved_sine_;
        delete fsys;
        fsys = nullptr;
        if (base_ != nullptr) {
            cvar_list->release(base_);
        }
        GLVideoTest::TearDown();
    }

    // The map of a description loaded, and the renderer on a w x h window;
    // without_pvs leaves out the map's pvs.bin.
    void open(const std::string& description, int32_t w, int32_t h, bool without_pvs = false)
    {
        mapgen::MapFiles files;
        std::string error;
        ASSERT_TRUE(mapgen::generate_map(description, files, error)) << error;
        if (without_pvs) {
            std::erase_if(files.files, [](const mapgen::MapFile& f) { return f.name == "pvs.bin"; });
        }
        ASSERT_TRUE(mapgen::write_map_directory(files, tree_.path("kavrin/maps/test"), error)) << error;
        ASSERT_TRUE(mapgen::write_map_textures(files, tree_.path("kavrin"), error)) << error;
        ASSERT_EQ(fsys->mount("kavrin", 1, 10), 1);
        open_mode("WIN", w, h);
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(GLSys::init(), 1);
        uint32_t identifier = 0;
        ASSERT_EQ(load_world(world_, &share_, "maps/test", &identifier), 1);
        screen_.v_mode = mode.get();
        ASSERT_EQ(projection_.init(&screen_), 1);
        ASSERT_EQ(renderer_.init(&projection_), 1);
        world_.attach_screen(&projection_);
        renderer_.set_world(&world_);
        set("R_Flat", "True");
    }

    void set(const char* name, const char* value)
    {
        ConfigVariable* v = cvar_list->find(name);
        ASSERT_NE(v, nullptr) << name;
        v->set_string(value);
    }

    void draw(const Pose& pose)
    {
        ViewFrame view;
        set_camera(view, pose.position, pose.yaw, pose.pitch);
        view.set_extents(1.0f, 0.75f);
        projection_.set_time(ticks_);
        projection_.begin_frame(view);
        projection_.clear_window();
        renderer_.draw_world();
    }

    // The window's pixels, top row first.
    std::vector<Rgb> frame() const
    {
        const int32_t w = mode->xres;
        const int32_t h = mode->yres;
        std::vector<uint8_t> rgba(static_cast<size_t>(w * h * 4));
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::vector<Rgb> out(static_cast<size_t>(w * h));
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = &rgba[static_cast<size_t>(4 * ((h - 1 - y) * w + x))];
                out[static_cast<size_t>(y * w + x)] = {p[0], p[1], p[2]};
            }
        }
        return out;
    }

    // The direction of the ray through the pixel's centre, one unit ahead.
    Vector ray(const Pose& pose, int32_t px, int32_t py) const
    {
        const Vector forward{std::cos(pose.pitch) * std::cos(pose.yaw), std::cos(pose.pitch) * std::sin(pose.yaw),
                             std::sin(pose.pitch)};
        const Vector right{std::sin(pose.yaw), -std::cos(pose.yaw), 0.0f};
        Vector down;
        vec_cross(forward, right, down);
        const double cx = projection_.width / 2;
        const double cy = projection_.height / 2;
        const double x = (px + 0.5 - cx) / projection_.sx;
        const double y = (py + 0.5 - cy) / projection_.sy;
        Vector d = forward;
        vec_add_scaled(d, right, static_cast<float>(x));
        vec_add_scaled(d, down, static_cast<float>(y));
        return d;
    }

    // The nearest world polygon that faces the eye along the pixel's ray,
    // and in hit_t how far along the ray it lies.
    MapPolygon* cast(const Pose& pose, int32_t px, int32_t py, float* hit_t = nullptr) const
    {
        const Vector d = ray(pose, px, py);
        MapPolygon* best = nullptr;
        double best_t = 1e30;
        for (int32_t i = 0; i < world_.polygon_count; ++i) {
            MapPolygon& p = world_.polygons[i];
            const Plane& plane = *p.plane;
            const double from = plane_distance(plane, pose.position);
            const double along = vec_dot(plane.normal, d);
            if (from <= 0.0 || along >= 0.0) {
                continue;
            }
            const double t = -from / along;
            if (t >= best_t) {
                continue;
            }
            Vector hit = pose.position;
            vec_add_scaled(hit, d, static_cast<float>(t));
            bool inside = true;
            for (int32_t k = 0; k < p.vertex_count && inside; ++k) {
                Vector edge = *p.vertices[(k + 1) % p.vertex_count];
                vec_sub(edge, *p.vertices[k]);
                Vector to = hit;
                vec_sub(to, *p.vertices[k]);
                Vector c;
                vec_cross(edge, to, c);
                // Clockwise from the front: the cross product points away.
                inside = vec_dot(c, plane.normal) <= 1e-3f * std::sqrt(vec_dot(edge, edge));
            }
            if (inside) {
                best = &p;
                best_t = t;
            }
        }
        if (hit_t != nullptr) {
            *hit_t = static_cast<float>(best_t);
        }
        return best;
    }

    // The point t along the pixel's ray of cast.
    Vector ray_point(const Pose& pose, int32_t px, int32_t py, float t) const
    {
        Vector hit = pose.position;
        vec_add_scaled(hit, ray(pose, px, py), t);
        return hit;
    }

    // The share of a grid of pixels whose colour is that of the polygon
    // the caster finds, and of sky pixels that show a sky polygon.
    double agreement(const Pose& pose, int* sky_pixels = nullptr)
    {
        draw(pose);
        const std::vector<Rgb> f = frame();
        std::set<Rgb> sky;
        for (int32_t i = 0; i < world_.sky_polygon_count; ++i) {
            sky.insert(flat_colour(&world_.sky_polygons[i]));
        }
        int agree = 0;
        int total = 0;
        for (int32_t y = 2; y < mode->yres - 2; y += 3) {
            for (int32_t x = 2; x < mode->xres - 2; x += 3) {
                const MapPolygon* p = cast(pose, x, y);
                const Rgb seen = f[static_cast<size_t>(y * mode->xres + x)];
                ++total;
                if (p != nullptr && (p->face->flags & FACE_SKY) != 0) {
                    agree += sky.count(seen) != 0 ? 1 : 0;
                    if (sky_pixels != nullptr) {
                        *sky_pixels += 1;
                    }
                } else if (p != nullptr) {
                    agree += seen == flat_colour(p) ? 1 : 0;
                }
            }
        }
        return total > 0 ? static_cast<double>(agree) / total : 0.0;
    }

    // One frame of the polygons alone, in arrival order, seen from eye
    // looking along +x; the window's pixels.
    std::vector<Rgb> draw_polygons(const Vector& eye, std::initializer_list<MapPolygon*> polygons)
    {
        ViewFrame view;
        set_camera(view, eye, 0.0f, 0.0f);
        view.set_extents(1.0f, 0.75f);
        projection_.set_time(0);
        projection_.begin_frame(view);
        projection_.clear_window();
        renderer_.begin_frame();
        TransformBlock block;
        renderer_.set_transform(block, nullptr);
        for (MapPolygon* polygon : polygons) {
            PolygonRef ref;
            ref.polygon = polygon;
            ref.transform = &block;
            renderer_.add_polygon(ref, 0);
        }
        renderer_.end_frame();
        return frame();
    }

    // The patches of two different textures of the map.
    void two_textures(AlgoTexture*& a, AlgoTexture*& b)
    {
        a = nullptr;
        b = nullptr;
        for (int32_t i = 0; i < world_.face_count && b == nullptr; ++i) {
            AlgoTexture* patch = world_.faces[i].patch;
            if (patch != nullptr && patch->update(0) != nullptr) {
                if (a == nullptr) {
                    a = patch;
                } else if (patch->update(0) != a->update(0)) {
                    b = patch;
                }
            }
        }
        ASSERT_NE(b, nullptr) << "two textures in the map";
    }

    TempTree tree_;
    ConfigVariable* base_ = nullptr;
    SineTable sine_;
    SineTable* saved_sine_ = nullptr;
    ShareManager share_;
    ClientWorld world_;
    ScreenManager screen_;
    ScreenProjection projection_;
    BspRenderer renderer_;
    int32_t ticks_ = 0;
};

TEST_F(GLWorldTest, WallsFloorsAndSkyAreWhereTheCameraLooks)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 96, 72));
    if (IsSkipped()) {
        return;
    }
    const Pose poses[] = {
        {{64.0f, 128.0f, 64.0f}, 0.0f, 0.0f},         // through the door into the far room
        {{128.0f, 64.0f, 40.0f}, 1.57f, 0.3f},        // at a side wall, looking up a little
        {{200.0f, 200.0f, 100.0f}, 3.9f, -0.6f},      // down at the floor in a corner
        {{384.0f, 128.0f, 64.0f}, 0.5f, 1.2f},        // up at the far room's sky
        {{300.0f, 40.0f, 30.0f}, 2.8f, 0.1f},         // back into the near room
    };
    int sky = 0;
    for (const Pose& pose : poses) {
        EXPECT_GT(agreement(pose, &sky), 0.95) << "pose at " << pose.position.x << ", " << pose.position.y;
    }
    EXPECT_GT(sky, 50) << "the poses look at the sky";
    EXPECT_GT(renderer_.stats.rendered, 0);
}

// Without textures the lit surfaces show their lightmaps: brighter than
// black, brightest near the light. A second frame from the same place,
// with nothing that changes the light, uploads nothing.
TEST_F(GLWorldTest, LightmapsBrightenAndAStaticFrameUploadsNothing)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 96, 72));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    set("R_Texture", "False");
    const Pose at_floor{{128.0f, 128.0f, 100.0f}, 0.0f, -1.5f}; // down at the floor under the light
    draw(at_floor);
    const int32_t first_uploads = renderer_.stats.lightmaps_updated;
    EXPECT_GT(first_uploads, 0);
    EXPECT_GE(renderer_.stats.lightmaps_rendered, first_uploads);
    const std::vector<Rgb> lit = frame();
    const Rgb centre = lit[static_cast<size_t>(36 * 96 + 48)];
    const Rgb corner = lit[static_cast<size_t>(2 * 96 + 2)];
    EXPECT_GT(centre[0], 40) << "the floor under the light is lit";
    EXPECT_GE(centre[0] + centre[1] + centre[2], corner[0] + corner[1] + corner[2]);
    draw(at_floor);
    EXPECT_EQ(renderer_.stats.lightmaps_updated, 0) << "a static frame uploads nothing";
    EXPECT_EQ(frame(), lit);

    set("R_Lighting", "False");
    draw(at_floor);
    EXPECT_EQ(renderer_.stats.lightmaps_rendered, 0);
}

// A lamp's light that comes into a room rebuilds and uploads the lightmaps
// it reaches, some and not all of those drawn; the frame after uploads
// nothing; the light gone, they go back, and then nothing again.
TEST_F(GLWorldTest, ADynamicLightUploadsTheLightmapsItTouches)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 96, 72));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    const Pose down_the_room{{40.0f, 128.0f, 100.0f}, 0.0f, -0.5f};
    draw(down_the_room);
    ASSERT_GT(renderer_.stats.lightmaps_rendered, 4);
    draw(down_the_room);
    ASSERT_EQ(renderer_.stats.lightmaps_updated, 0);

    LampData lamp;
    lamp.set_colour(0xFF4020);
    lamp.map_colour(projection_.rgb_layout);
    LightSource light(ENTITY_TYPE_LAMP_LIGHT);
    light.set_range(0.6f);
    light.set_intensity(1.0f);
    light.set_lamp(&lamp);
    light.set_position(Vector{200.0f, 200.0f, 16.0f}, Vector{0.0f, 0.0f, 1.0f});
    link_new_entity(*world_.map, light);
    draw(down_the_room);
    const int32_t touched = renderer_.stats.lightmaps_updated;
    EXPECT_GT(touched, 0);
    EXPECT_LT(touched, renderer_.stats.lightmaps_rendered) << "only those the light reaches";
    draw(down_the_room);
    EXPECT_EQ(renderer_.stats.lightmaps_updated, 0) << "the light stands still";

    unlink_entity(*world_.map, light);
    draw(down_the_room);
    EXPECT_EQ(renderer_.stats.lightmaps_updated, touched) << "the same lightmaps, unlit again";
    draw(down_the_room);
    EXPECT_EQ(renderer_.stats.lightmaps_updated, 0);
}

// The camera cell's PVS keeps the polygons of cells it cannot see from the
// polygon renderer, and the picture does not change for it.
TEST_F(GLWorldTest, ThePvsHidesCellsAndChangesNoPixel)
{
    ASSERT_NO_FATAL_FAILURE(open(source_text("tools/mapgen/maps/snake4x4.rooms"), 96, 72));
    if (IsSkipped()) {
        return;
    }
    // In the first room of the snake, facing the wall behind which the
    // snake comes back: those rooms are in view but not in the PVS.
    const Pose in_hall{{128.0f, 128.0f, 64.0f}, 1.57f, 0.0f};
    set("R_PVS", "True");
    draw(in_hall);
    const int32_t with_pvs = renderer_.stats.total;
    const std::vector<Rgb> seen = frame();
    set("R_PVS", "False");
    draw(in_hall);
    EXPECT_LT(with_pvs, renderer_.stats.total) << "the rooms behind the wall are out of the PVS";
    EXPECT_EQ(frame(), seen);
}

// The lightmap cache holds, per size class, one more slot than the most
// lightmaps of that class any cell's PVS holds, as counted here by
// unpacking each cell's PVS; the counts are printed.
TEST_F(GLWorldTest, TheLightmapCacheIsSizedFromThePvs)
{
    ASSERT_NO_FATAL_FAILURE(open(source_text("tools/mapgen/maps/three_rooms.rooms"), 64, 48));
    if (IsSkipped()) {
        return;
    }
    SharedMap& map = *world_.map;
    ASSERT_TRUE(map.has_pvs());
    int32_t worst[LMAP_SIZES] = {};
    for (int32_t c = 0; c < map.cell_count; ++c) {
        unpack_pvs(map, &map.cells[c]);
        int32_t n[LMAP_SIZES] = {};
        for (int32_t k = 0; k < map.cell_count; ++k) {
            if (map.cells[k].visible == 0) {
                continue;
            }
            for (int32_t i = 0; i < map.cells[k].polygon_count; ++i) {
                const MapPolygon& p = world_.polygons[map.cells[k].first_polygon + i];
                if (p.samples != nullptr) {
                    const int32_t side = std::max(p.lightmap.width, p.lightmap.height);
                    ++n[side > 16 ? 0 : side > 8 ? 1 : 2];
                }
            }
        }
        for (int s = 0; s < LMAP_SIZES; ++s) {
            worst[s] = std::max(worst[s], n[s]);
        }
    }
    for (int s = 0; s < LMAP_SIZES; ++s) {
        EXPECT_EQ(renderer_.lightmap_maxima[s], worst[s]) << "class " << s;
        EXPECT_EQ(gl_lightmap_manager.max_lightmaps[s], worst[s] + 1) << "class " << s;
        const int side = 32 >> s;
        EXPECT_TRUE(capture.contains("PVS: max " + std::to_string(worst[s]) + " lightmaps of size " +
                                     std::to_string(side) + "x" + std::to_string(side)));
    }
}

// A map without a PVS keeps the cache's starting slots and prints nothing.
TEST_F(GLWorldTest, AMapWithoutPvsKeepsTheStartingCache)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48, true));
    if (IsSkipped()) {
        return;
    }
    ASSERT_FALSE(world_.map->has_pvs());
    for (int s = 0; s < LMAP_SIZES; ++s) {
        EXPECT_EQ(gl_lightmap_manager.max_lightmaps[s], GL_DEFAULT_LIGHTMAPS[s]) << "class " << s;
    }
    EXPECT_FALSE(capture.contains("PVS: max"));
    EXPECT_GT(agreement({{64.0f, 128.0f, 64.0f}, 0.0f, 0.0f}), 0.95) << "drawn all the same";
}

// Each variable of the polygon renderer against the lightmaps-only frame
// (every texture is blank here): the passes it switches change the picture,
// culling and grouping do not.
TEST_F(GLWorldTest, EachVariableChangesWhatItShould)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 96, 72));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    set("R_Texture", "False");
    const Pose pose{{40.0f, 100.0f, 90.0f}, 0.2f, -0.3f};
    draw(pose);
    const std::vector<Rgb> plain = frame();
    const struct {
        const char* name;
        const char* value;
        const char* back;
        bool changes;
    } cases[] = {
        {"GL_Triangles", "True", "False", true}, {"R_Bumps", "True", "False", true},
        {"R_Lighting", "False", "True", true},   {"R_Flat", "True", "False", true},
        {"R_ClipCone", "True", "False", false},  {"R_ClipRaster", "True", "False", false},
        {"GL_SortTextures", "False", "True", false}, {"R_Dynalights", "False", "True", false},
    };
    for (const auto& c : cases) {
        set(c.name, c.value);
        draw(pose);
        EXPECT_EQ(frame() != plain, c.changes) << c.name << " " << c.value;
        set(c.name, c.back);
    }
    draw(pose);
    EXPECT_EQ(frame(), plain);
}

// R_PolyOrder v draws only the first ((t >> 2) mod v) + 1 polygons at
// projection time t; 0 draws them all.
TEST_F(GLWorldTest, PolyOrderDrawsAGrowingShareOfTheFrame)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    const Pose pose{{64.0f, 128.0f, 64.0f}, 0.0f, 0.0f};
    draw(pose);
    const int32_t all = renderer_.stats.rendered;
    ASSERT_GT(all, 5);
    set("R_PolyOrder", "5");
    const struct {
        int32_t ticks;
        int32_t drawn;
    } cases[] = {{0, 1}, {3, 1}, {4, 2}, {13, 4}, {16, 5}, {20, 1}};
    for (const auto& c : cases) {
        ticks_ = c.ticks;
        draw(pose);
        EXPECT_EQ(renderer_.stats.rendered, c.drawn) << "time " << c.ticks;
    }
    set("R_PolyOrder", "0");
    draw(pose);
    EXPECT_EQ(renderer_.stats.rendered, all);
}

// More polygons than the vertex pool holds in one frame: the rest are
// dropped and counted, the frame still drawn.
TEST_F(GLWorldTest, AFullPoolDropsAndCounts)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    ViewFrame view;
    set_camera(view, Vector{128.0f, 128.0f, 64.0f}, 0.0f, 0.0f);
    view.set_extents(1.0f, 0.75f);
    projection_.begin_frame(view);
    renderer_.begin_frame();
    TransformBlock block;
    renderer_.set_transform(block, nullptr);
    MapPolygon& far_wall = *cast(Pose{{128.0f, 128.0f, 64.0f}, 0.0f, 0.0f}, 32, 24);
    PolygonRef ref;
    ref.polygon = &far_wall;
    ref.transform = &block;
    const int32_t n = GL_POLY_VERTICES / far_wall.vertex_count + 100;
    for (int32_t i = 0; i < n; ++i) {
        renderer_.add_polygon(ref, POLY_CLIP);
    }
    EXPECT_EQ(renderer_.stats.total, n);
    EXPECT_EQ(renderer_.stats.rendered, GL_POLY_VERTICES / far_wall.vertex_count);
    EXPECT_EQ(renderer_.stats.dropped, n - renderer_.stats.rendered);
    renderer_.end_frame();
}

// A texture of one colour (red in the lowest byte) at one opacity; a
// transparent texture when alpha is below 255.
void paint(Texture& texture, uint32_t colour, uint8_t alpha)
{
    texture.flags = alpha < 255 ? TEXTURE_TRANSPARENT : 0;
    ASSERT_EQ(texture.create_levels(16, 16), 1);
    texture.palette[0] = colour;
    if (alpha < 255) {
        for (int i = 0; i < texture.mipmaps; ++i) {
            TexelMap& map = texture.levels[i];
            for (int32_t k = 0; k < map.width * map.height; ++k) {
                map.texels[2 * k + 1] = alpha;
            }
        }
    }
    texture.dirty = 1;
}

// A square facing the camera on the +x axis, d units ahead, 2 h units a side.
struct Square {
    Vector corners[4];
    Vector* pointers[4];
    Plane plane;
    MapFace face;
    MapPolygon polygon;

    Square(const Vector& eye, float d, float h, AlgoTexture* patch, bool transparent)
    {
        const float x = eye.x + d;
        const float ys[4] = {-h, h, h, -h};
        const float zs[4] = {h, h, -h, -h};
        for (int i = 0; i < 4; ++i) {
            corners[i] = Vector{x, eye.y + ys[i], eye.z + zs[i]};
            pointers[i] = &corners[i];
        }
        plane = Plane{{-1.0f, 0.0f, 0.0f}, x};
        face.patch = patch;
        face.plane = &plane;
        face.origin = corners[0];
        face.u_axis = Vector{0.0f, 1.0f, 0.0f};
        face.v_axis = Vector{0.0f, 0.0f, -1.0f};
        face.flags = transparent ? FACE_TRANSPARENT : 0;
        polygon.vertices = pointers;
        polygon.vertex_count = 4;
        polygon.face = &face;
        polygon.plane = &plane;
    }
};

// A transparent surface in front of an opaque one arrives first (nearest
// first), yet is drawn after it, blended over it; where nothing opaque lies
// behind, over the cleared window.
TEST_F(GLWorldTest, TransparentSurfacesAreBlendedOverTheOpaqueOnes)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    // Two textures of the map, repainted: a half-transparent red and a green.
    AlgoTexture* red = nullptr;
    AlgoTexture* green = nullptr;
    ASSERT_NO_FATAL_FAILURE(two_textures(red, green));
    ASSERT_NO_FATAL_FAILURE(paint(*red->update(0), 0x000000FF, 128));
    ASSERT_NO_FATAL_FAILURE(paint(*green->update(0), 0x0000FF00, 255));

    const Vector eye{128.0f, 128.0f, 64.0f};
    Square glass(eye, 60.0f, 40.0f, red, true);
    Square wall(eye, 90.0f, 20.0f, green, false);
    const std::vector<Rgb> f = draw_polygons(eye, {&glass.polygon, &wall.polygon});
    EXPECT_EQ(renderer_.stats.rendered, 2);
    const Rgb centre = f[static_cast<size_t>(24 * 64 + 32)];
    EXPECT_NEAR(centre[0], 128, 3) << "red over green";
    EXPECT_NEAR(centre[1], 127, 3) << "red over green";
    EXPECT_EQ(centre[2], 0);
    const Rgb beside = f[static_cast<size_t>(24 * 64 + 16)];
    EXPECT_NEAR(beside[0], 128, 3) << "red over the cleared window";
    EXPECT_EQ(beside[1], 0);
    const Rgb corner = f[0];
    EXPECT_EQ(corner, (Rgb{0, 0, 0})) << "nothing where neither square is";
}


// Without GL_SortTextures each list is drawn in the reverse of arrival; with
// it the lit surfaces are grouped by texture and face, and within a face the
// reverse of arrival holds. The unlit list is never grouped. Two coplanar
// squares show it in the pixels: the one drawn last covers the other.
TEST_F(GLWorldTest, ListsAreDrawnInTheReverseOfArrival)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    const Vector eye{128.0f, 128.0f, 64.0f};
    Square first(eye, 60.0f, 20.0f, nullptr, false);
    Square second(eye, 60.0f, 20.0f, nullptr, false);
    ASSERT_NE(flat_colour(&first.polygon), flat_colour(&second.polygon));
    // A lit polygon of the world that faces the eye.
    MapPolygon* lit = nullptr;
    for (int32_t i = 0; i < world_.polygon_count && lit == nullptr; ++i) {
        MapPolygon& p = world_.polygons[i];
        const GLPolygonData* data = renderer_.polygon_data(&p);
        if (data != nullptr && data->slot.size_id >= 0 && (p.face->flags & (FACE_SKY | FACE_TRANSPARENT)) == 0 &&
            plane_distance(*p.plane, eye) > 1.0f) {
            lit = &p;
        }
    }
    ASSERT_NE(lit, nullptr);
    for (const char* sort : {"False", "True"}) {
        SCOPED_TRACE(std::string("GL_SortTextures ") + sort);
        set("GL_SortTextures", sort);
        const std::vector<Rgb> f = draw_polygons(eye, {&first.polygon, lit, &second.polygon, lit, lit});
        EXPECT_EQ(f[static_cast<size_t>(24 * 64 + 32)], flat_colour(&first.polygon)) << "the first arrived on top";
        ASSERT_EQ(renderer_.unlit_count(), 2);
        EXPECT_EQ(renderer_.unlit(0).ref.polygon, &second.polygon);
        EXPECT_EQ(renderer_.unlit(1).ref.polygon, &first.polygon);
        // The lit records, arrived as the second, fourth and fifth.
        ASSERT_EQ(renderer_.lit_count(), 3);
        EXPECT_EQ(&renderer_.lit(0), &renderer_.surface(4));
        EXPECT_EQ(&renderer_.lit(1), &renderer_.surface(3));
        EXPECT_EQ(&renderer_.lit(2), &renderer_.surface(1));
    }
}

// The polygon limit of R_PolyOrder counts a transparent surface that flat
// mode drops: with the limit at one polygon, a dropped pane arriving first
// leaves the wall behind it undrawn.
TEST_F(GLWorldTest, AFlatFramesDroppedTransparentSurfaceCountsAgainstThePolygonLimit)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    const Vector eye{128.0f, 128.0f, 64.0f};
    Square glass(eye, 60.0f, 20.0f, nullptr, true);
    Square wall(eye, 90.0f, 20.0f, nullptr, false);
    const struct {
        const char* order;
        int32_t rendered;
        int32_t surfaces;
    } cases[] = {{"5", 1, 0}, {"0", 2, 1}}; // at time 0 the limit of 5 is one polygon
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("R_PolyOrder ") + c.order);
        set("R_PolyOrder", c.order);
        const std::vector<Rgb> f = draw_polygons(eye, {&glass.polygon, &wall.polygon});
        EXPECT_EQ(renderer_.stats.rendered, c.rendered);
        EXPECT_EQ(renderer_.surface_count(), c.surfaces);
        EXPECT_EQ(f[static_cast<size_t>(24 * 64 + 32)] == flat_colour(&wall.polygon), c.surfaces == 1);
    }
}

// An entity for the raster test, counted when it is added.
struct Probe : RenderObject {
    void draw(PolyRenderer&) override {}
};

// The raster test of an entity projects the box of its bounding sphere: a
// sphere 20 units ahead with a radius of 10 spans the middle half of the
// screen at its centre's depth, and the box's near face the whole width, so
// a gap at the right edge still shows it.
TEST_F(GLWorldTest, AnEntityIsTestedByTheScreenRectangleOfItsBoundingBox)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    const Vector eye{128.0f, 128.0f, 64.0f};
    const struct {
        const char* name;
        int32_t covered_to; // the gaps are closed from the left edge to this column
        float radius;
        bool raster_test;
        bool added;
    } cases[] = {
        {"a gap only beside the sphere's square", 52, 10.0f, true, true},
        {"no gap", 64, 10.0f, true, false},
        {"a box reaching the eye is not tested", 64, 25.0f, true, true},
        {"R_ClipRaster off", 64, 10.0f, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set("R_ClipRaster", c.raster_test ? "True" : "False");
        ViewFrame view;
        set_camera(view, eye, 0.0f, 0.0f);
        view.set_extents(1.0f, 0.75f);
        projection_.begin_frame(view);
        renderer_.begin_frame();
        const int32_t x1 = c.covered_to << 16;
        const int32_t y1 = 48 << 16;
        const int32_t cover[8] = {0, 0, x1, 0, x1, y1, 0, y1};
        renderer_.gaps.clip_polygon(cover, 4);
        Probe probe;
        probe.entity_type = 1;
        probe.render_flags = RENDER_OCCLUSION_TEST;
        probe.sphere = Sphere{{eye.x + 20.0f, eye.y, eye.z}, c.radius};
        renderer_.add_entity(&probe);
        EXPECT_EQ(renderer_.stats.entities[1], c.added ? 1 : 0);
        renderer_.end_frame();
    }
}

// The bump chain goes up as a lightmap kind: no alpha in its texels.
TEST_F(GLWorldTest, TheBumpImagesAreUploadedAsALightmapKind)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 96, 72));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    set("R_Bumps", "True");
    draw(Pose{{40.0f, 100.0f, 90.0f}, 0.2f, -0.3f});
    const GLTextureOwner& bumps = renderer_.bump_texture();
    ASSERT_GE(bumps.id, 0) << "the bump pass ran";
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, gl_texture_manager.names[bumps.id]);
    GLint format = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_EQ(format, GL_RGB);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}


// A lit face with a second layer shows it, as the software program shows
// both layers of such a face: the second-layer pass runs over the lit
// surfaces too, not only over the unlit ones.
TEST_F(GLWorldTest, ALitFaceShowsItsSecondLayer)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    set("R_Lighting", "False");
    const Pose pose{{128.0f, 128.0f, 64.0f}, 0.0f, 0.0f};
    draw(pose);
    MapPolygon* const wall = cast(pose, 32, 24);
    ASSERT_NE(wall, nullptr);
    const GLPolygonData* data = renderer_.polygon_data(wall);
    ASSERT_TRUE(data != nullptr && data->slot.size_id >= 0) << "a lit polygon";
    AlgoTexture* first = nullptr;
    AlgoTexture* second = nullptr;
    ASSERT_NO_FATAL_FAILURE(two_textures(first, second));
    ASSERT_NO_FATAL_FAILURE(paint(*first->update(0), 0x0000FF00, 255));
    ASSERT_NO_FATAL_FAILURE(paint(*second->update(0), 0x000000FF, 255));
    MapFace& face = *wall->face;
    face.patch = first;
    const Rgb green{0, 255, 0};
    EXPECT_EQ(draw_polygons(pose.position, {wall})[static_cast<size_t>(24 * 64 + 32)], green);
    face.flags |= FACE_TWO_LAYERS;
    face.second_patch = second;
    EXPECT_EQ(renderer_.lit_count(), 1);
    EXPECT_NE(draw_polygons(pose.position, {wall})[static_cast<size_t>(24 * 64 + 32)], green);
    EXPECT_EQ(renderer_.lit_count(), 1);
}


// A pentagon facing the camera: a square 2 s a side with a fifth vertex a
// little above the middle of its top edge, listed from the top left corner,
// whose fan holds a sliver (that corner, the fifth vertex, the top right
// corner).
struct Roof {
    Vector corners[5];
    Vector* pointers[5];
    Plane plane;
    MapFace face;

    Roof(const Vector& eye, float d, float s, AlgoTexture* patch)
    {
        // (across, up) from the centre, clockwise seen from the eye.
        const float shape[5][2] = {{-1.0f, 1.0f}, {0.0f, 1.0125f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}};
        const float x = eye.x + d;
        for (int i = 0; i < 5; ++i) {
            // Looking along +x the screen's right is -y.
            corners[i] = Vector{x, eye.y - s * shape[i][0], eye.z + s * shape[i][1]};
            pointers[i] = &corners[i];
        }
        plane = Plane{{-1.0f, 0.0f, 0.0f}, x};
        face.patch = patch;
        face.plane = &plane;
        face.origin = corners[0];
        // The texture's 16 texels across the polygon.
        face.u_axis = Vector{0.0f, -s / 8.0f, 0.0f};
        face.v_axis = Vector{0.0f, 0.0f, -s / 8.0f};
    }

    void set(MapPolygon& polygon)
    {
        polygon.vertices = pointers;
        polygon.vertex_count = 5;
        polygon.face = &face;
        polygon.plane = &plane;
    }
};

// A texture whose texels all differ: a texture coordinate that went with
// the wrong vertex shows.
void paint_pattern(Texture& texture)
{
    texture.flags = 0;
    ASSERT_EQ(texture.create_levels(16, 16), 1);
    for (uint32_t i = 0; i < 256; ++i) {
        texture.palette[i] = (i * 37u & 0xFFu) | ((i * 91u & 0xFFu) << 8) | ((i * 53u & 0xFFu) << 16);
    }
    for (int level = 0; level < texture.mipmaps; ++level) {
        TexelMap& map = texture.levels[level];
        for (int32_t k = 0; k < map.width * map.height; ++k) {
            map.texels[k] = static_cast<uint8_t>(k * 7 + level);
        }
    }
    texture.dirty = 1;
}

// A polygon of the bound world is drawn as a fan from the start chosen at
// map load, here not its first vertex, without changing the map polygon;
// the same polygon from outside the world is drawn from its first vertex.
// Both cover the same pixels in flat colours, and textured they show the
// same picture, each texture coordinate with its own vertex.
TEST_F(GLWorldTest, TheFanStartsAtTheChosenVertexAndCoversTheSamePixels)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 96, 72));
    if (IsSkipped()) {
        return;
    }
    AlgoTexture* patch = nullptr;
    for (int32_t i = 0; i < world_.face_count && patch == nullptr; ++i) {
        AlgoTexture* p = world_.faces[i].patch;
        patch = p != nullptr && p->update(0) != nullptr ? p : nullptr;
    }
    ASSERT_NE(patch, nullptr);
    ASSERT_NO_FATAL_FAILURE(paint_pattern(*patch->update(0)));

    const Vector eye{128.0f, 128.0f, 64.0f};
    Roof roof(eye, 60.0f, 30.0f, patch);
    ClientWorld roof_world;
    roof_world.polygons = new MapPolygon[1];
    roof_world.polygon_count = 1;
    MapPolygon& inside = roof_world.polygons[0];
    roof.set(inside);
    renderer_.prepare_world(roof_world);
    MapPolygon outside;
    roof.set(outside);
    const int32_t start = choose_fan_start(inside.vertices, inside.vertex_count);
    ASSERT_NE(start, 0) << "the first vertex starts a sliver";
    EXPECT_EQ(renderer_.fan_start(&inside), start);
    EXPECT_EQ(renderer_.fan_start(&outside), 0);

    for (const bool flat : {true, false}) {
        set("R_Flat", flat ? "True" : "False");
        set("R_Cells", "1"); // the flat colour of the polygon's cell: the same for both
        const std::vector<Rgb> rotated = draw_polygons(eye, {&inside});
        ASSERT_EQ(renderer_.surface_count(), 1);
        const SurfaceRecord& record = renderer_.surface(0);
        EXPECT_EQ(record.first, start);
        EXPECT_EQ(vec_equal(record.vertices[0], *inside.vertices[start]), 1) << "the fan's first vertex";
        EXPECT_EQ(inside.vertices, roof.pointers) << "the map polygon keeps its order";
        const std::vector<Rgb> plain = draw_polygons(eye, {&outside});
        EXPECT_EQ(vec_equal(renderer_.surface(0).vertices[0], *outside.vertices[0]), 1);

        int covered = 0;
        int differ = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            covered += plain[i] != Rgb{0, 0, 0} ? 1 : 0;
            differ += plain[i] != rotated[i] ? 1 : 0;
        }
        EXPECT_GT(covered, 96 * 72 / 4) << "the polygon fills much of the window";
        if (flat) {
            EXPECT_EQ(rotated, plain) << "the same pixels covered";
        } else {
            // Texture coordinates interpolated over other triangles round
            // differently at a few texel edges; with a coordinate at the
            // wrong vertex most pixels would differ.
            EXPECT_LT(differ, covered / 50) << differ << " of " << covered << " pixels differ";
        }
    }
    renderer_.release_world();
}

} // namespace

// A change of a variable that decides how textures are uploaded makes the
// next frame flush the texture cache, so that every texture is uploaded
// again; the two sizes of the cache only print that a new video mode is
// needed, and brightness, depth reads and finishing flush nothing.
TEST_F(GLWorldTest, TextureVariablesFlushTheCacheOnTheNextFrame)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    const Pose pose{{64.0f, 128.0f, 64.0f}, 0.0f, 0.0f};
    const char* const notice = "You must reset the video mode for this variable to take effect";
    const struct {
        const char* name;
        const char* value;
        bool flushes;
        bool notice;
    } cases[] = {
        {"R_TFilter", "False", true, false},         {"R_LFilter", "False", true, false},
        {"R_FirstMipmap", "1", true, false},         {"R_Mipmapping", "False", true, false},
        {"R_Trilinear", "True", true, false},        {"GL_SquareTextures", "True", true, false},
        {"GL_TextureFormat", "1", true, false},      {"GL_TextureHandles", "100", false, true},
        {"GL_TextureCacheSize", "100", false, true}, {"R_Gamma", "1.5", false, false},
        {"GL_Overbright", "False", false, false},    {"GL_ReadZbuffer", "False", false, false},
        {"GL_Finish", "True", false, false},
    };
    GLTextureOwner owner;
    owner.set_size(64);
    draw(pose);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigVariable* const v = cvar_list->find(c.name);
        ASSERT_NE(v, nullptr);
        const std::string before = v->string();
        ASSERT_GE(owner.activate(), 0);
        ASSERT_EQ(owner.activate(), 1) << "resident before the change";
        capture.clear();
        set(c.name, c.value);
        EXPECT_EQ(owner.activate(), 1) << "the change alone flushes nothing";
        draw(pose);
        EXPECT_EQ(owner.activate(), c.flushes ? 0 : 1) << "after the next frame";
        EXPECT_EQ(capture.count(notice), c.notice ? 1 : 0);
        EXPECT_EQ(owner.activate(), 1);
        draw(pose);
        EXPECT_EQ(owner.activate(), 1) << "a frame after that flushes nothing";
        set(c.name, before.c_str());
        draw(pose);
    }
}

// The back-face test keeps a margin of one unit: a polygon whose plane lies
// up to one unit in front of the eye (the eye behind it) is still drawn.
TEST_F(GLWorldTest, APolygonLessThanAUnitBehindTheEyesSideIsStillDrawn)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 64, 48));
    if (IsSkipped()) {
        return;
    }
    const struct {
        float distance; // of the eye from the polygon's plane
        bool drawn;
    } cases[] = {
        {60.0f, true}, {0.5f, true}, {0.0f, true}, {-0.5f, true}, {-0.9f, true}, {-1.1f, false}, {-5.0f, false},
    };
    const Vector eye{128.0f, 128.0f, 64.0f};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        // The square lies 60 units ahead; only its plane says where the eye is.
        Square square(eye, 60.0f, 20.0f, nullptr, false);
        square.plane.d = eye.x + c.distance;
        ASSERT_NEAR(plane_distance(square.plane, eye), c.distance, 1e-4f);
        const std::vector<Rgb> f = draw_polygons(eye, {&square.polygon});
        EXPECT_EQ(renderer_.stats.total, 1);
        EXPECT_EQ(renderer_.stats.facing, c.drawn ? 1 : 0);
        EXPECT_EQ(renderer_.stats.rendered, c.drawn ? 1 : 0);
        EXPECT_EQ(f[static_cast<size_t>(24 * 64 + 32)] != (Rgb{0, 0, 0}), c.drawn) << "the window's centre";
    }
}

// The bump pass multiplies the lightmap by the bump image, doubled by the
// overbright blend; the bump image spans 1 / 0.078125 = 12.8 texels of the
// face's texture (u, v), so bump texel (64 u x 0.078125, 64 v x 0.078125)
// mod 64 shows at the point (u, v). The images are those of the renderer's
// own random field lit from (0.5, 0.5, 0). Close to the floor, with
// R_TFilter off (level 0, nearest texel), a bump texel covers a few pixels
// and every pixel away from a texel's edge predicts its colour.
TEST_F(GLWorldTest, BumpTexelsAreTakenAtTheFacesTexelsTimesTheBumpScale)
{
    ASSERT_NO_FATAL_FAILURE(open(TWO_ROOMS, 320, 240));
    if (IsSkipped()) {
        return;
    }
    BumpRandom random;
    BumpField field;
    field.add_random_bumps(random);
    BumpImages images;
    build_bump_images(field, 0.5f, 0.5f, 0.0f, images);
    const std::vector<uint8_t>& level0 = images.bump_image[0];

    set("R_Flat", "False");
    set("R_Texture", "False");
    set("R_TFilter", "False");
    const Pose poses[] = {
        {{100.0f, 120.0f, 10.0f}, 0.3f, -1.5f}, // down at the floor near the light
        {{150.0f, 140.0f, 10.0f}, 2.0f, -1.4f},
    };
    constexpr double BUMP_TEXELS = 64.0 * 0.078125; // bump texels a texture texel
    int checked = 0;
    int agreed = 0;
    for (const Pose& pose : poses) {
        set("R_Bumps", "False");
        draw(pose);
        const std::vector<Rgb> plain = frame();
        set("R_Bumps", "True");
        draw(pose);
        const std::vector<Rgb> bumped = frame();
        for (int32_t y = 1; y < mode->yres - 1; ++y) {
            for (int32_t x = 1; x < mode->xres - 1; ++x) {
                float t_hit = 0.0f;
                const MapPolygon* p = cast(pose, x, y, &t_hit);
                const Rgb off = plain[static_cast<size_t>(y * mode->xres + x)];
                const Rgb on = bumped[static_cast<size_t>(y * mode->xres + x)];
                if (p == nullptr || (p->face->flags & FACE_SKY) != 0 || off[1] < 40 || on[1] > 250) {
                    continue;
                }
                // hit = origin + u U + v V: solved on the axes' own products.
                const MapFace& face = *p->face;
                Vector d = ray_point(pose, x, y, t_hit);
                vec_sub(d, face.origin);
                const double uu = vec_dot(face.u_axis, face.u_axis);
                const double uv = vec_dot(face.u_axis, face.v_axis);
                const double vv = vec_dot(face.v_axis, face.v_axis);
                const double du = vec_dot(d, face.u_axis);
                const double dv = vec_dot(d, face.v_axis);
                const double det = uu * vv - uv * uv;
                const double column = (du * vv - dv * uv) / det * BUMP_TEXELS;
                const double row = (dv * uu - du * uv) / det * BUMP_TEXELS;
                const double fc = column - std::floor(column);
                const double fr = row - std::floor(row);
                if (fc < 0.25 || fc > 0.75 || fr < 0.25 || fr > 0.75) {
                    continue; // the nearest texel is not sure so near its edge
                }
                const auto wrap = [](double c) { return static_cast<int32_t>(std::floor(c)) & (BUMP_SIZE - 1); };
                const int b = level0[static_cast<size_t>(4 * (wrap(row) * BUMP_SIZE + wrap(column)))];
                ++checked;
                bool agrees = true;
                for (int k = 0; k < 3; ++k) {
                    const double expected = std::min(255.0, 2.0 * off[k] * b / 255.0);
                    agrees = agrees && std::fabs(on[k] - expected) <= 3.0;
                }
                agreed += agrees ? 1 : 0;
            }
        }
    }
    ASSERT_GT(checked, 1000);
    EXPECT_GT(static_cast<double>(agreed) / checked, 0.97) << agreed << " of " << checked;
}

// A lamp's colour word lights each channel of the lightmaps by its own byte:
// over the ambient level, the light of the coloured lamp is that of the white
// lamp scaled channel by channel.
TEST_F(GLWorldTest, ALampsColourWordLightsEachChannelByItsOwnByte)
{
    constexpr const char* LAMP_ROOM = R"(
id 0x4c58
tile 64
room hall 0 0 0 256 256 128
light 128 128 96 2 1 255 255 255 lamp 1
)";
    ASSERT_NO_FATAL_FAILURE(open(LAMP_ROOM, 96, 72));
    if (IsSkipped()) {
        return;
    }
    set("R_Flat", "False");
    set("R_Texture", "False");
    const Pose at_floor{{128.0f, 128.0f, 100.0f}, 0.0f, -1.5f};
    LampData* const lamp = world_.map_lamps.lamp(1);
    ASSERT_NE(lamp, nullptr);
    lamp->set_intensity(1.0f);
    const auto centre = [&](uint32_t word) {
        lamp->set_colour(word);
        lamp->map_colour(projection_.rgb_layout);
        draw(at_floor);
        return frame()[static_cast<size_t>(36 * 96 + 48)];
    };
    const Rgb dark = centre(0);
    const Rgb white = centre(0xFFFFFF);
    ASSERT_GT(white[1] - dark[1], 60) << "the white lamp lights the floor";
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        const Rgb seen = centre(c.word);
        const int bytes[3] = {c.red, c.green, c.blue};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(seen[k] - dark[k], (white[k] - dark[k]) * bytes[k] / 255.0, 4.0) << "channel " << k;
        }
    }
}
