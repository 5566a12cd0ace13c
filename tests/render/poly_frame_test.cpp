// The polygon renderer's frame: facing, sky polygons, limits, statistics,
// the drawer each configuration chooses, and two whole pictures against
// approved images.
#include "poly_fixture.h"
#include "world/view/render_object.h"
#include "support/print_capture.h"
#include "tools/textures/procedural.h"
#include "world/bsp_tree.h"
#include "support/ppm_read.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <array>
#include <fstream>

namespace {

class PolyFrameTest : public PolyTest {
protected:
    void SetUp() override
    {
        PolyTest::SetUp();
        start(64, 48);
        patch_ = texture("uvq", uv_texture());
    }
    AlgoTexture* patch_ = nullptr;
};

TEST_F(PolyFrameTest, FacingSkyAndLimits)
{
    struct Case {
        const char* why;
        float plane_shift; // moves the plane away from the camera side
        uint32_t face_flags;
        int vertices;
        float z;
        int surfaces;
        int sky;
        int dropped;
    } cases[] = {
        {"facing", 0.0f, 0, 4, 10.0f, 1, 0, 0},
        {"camera 0.9 behind the plane: still taken", 10.9f, 0, 4, 10.0f, 1, 0, 0},
        {"camera 1.1 behind the plane: faces away", 11.1f, 0, 4, 10.0f, 0, 0, 0},
        {"sky face: only the flag", 0.0f, FACE_SKY, 4, 10.0f, 0, 1, 0},
        {"65 vertices: dropped and counted", 0.0f, 0, 65, 10.0f, 0, 0, 1},
        {"a vertex behind the eye without clipping", 0.0f, 0, 4, -1.0f, 0, 0, 1},
    };
    for (const Case& c : cases) {
        Scene scene;
        SoupPolygon p = quad(-1, -1, 1, 1, 10);
        if (c.vertices > 4) {
            p.vertices.clear();
            for (int k = 0; k < c.vertices; ++k) {
                const double a = 2.0 * M_PI * k / c.vertices;
                p.vertices.push_back(Vector{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 10});
            }
        }
        if (c.z < 0.0f) {
            p.vertices[0].z = c.z;
            p.vertices[1].z = c.z;
        }
        Scene::Item& it = scene.add(p, patch_, 0.25, 3);
        it.plane = Plane{{0, 0, -1}, 10.0f - c.plane_shift};
        it.face.flags |= c.face_flags;
        it.polygon.vertex_count = c.vertices;
        draw(scene, c.z < 0.0f ? 0u : POLY_CLIP);
        EXPECT_EQ(renderer_.edges.active_surfaces, c.surfaces) << c.why;
        EXPECT_EQ(renderer_.sky_seen, static_cast<uint32_t>(c.sky)) << c.why;
        EXPECT_EQ(renderer_.stats.dropped, c.dropped) << c.why;
        EXPECT_EQ(renderer_.stats.offered, 1) << c.why;
    }
}

std::vector<std::pair<uint32_t, std::string>> tagged_lines;
void collect_tagged(uint32_t tag, const char* text, uintptr_t) { tagged_lines.emplace_back(tag, text); }

TEST_F(PolyFrameTest, StatisticsLinesFollowTheirVariables)
{
    const TaggedHook saved = set_tagged_hook(collect_tagged, 0);
    tagged_lines.clear();
    Scene scene;
    scene.add(quad(-1, -1, 1, 1, 10), patch_, 0.25, 3);
    scene.add(quad(-9, -9, -8, -8, 10), patch_, 0.25, 2); // outside the view
    draw(scene, POLY_CLIP);
    renderer_.print_stats();
    EXPECT_TRUE(tagged_lines.empty()) << "all three off: nothing";
    set("PolyCount", "True");
    set("EdgeCount", "True");
    set("EntityCount", "True");
    renderer_.print_stats();
    set_tagged_hook(saved, 0);
    const std::vector<std::pair<uint32_t, std::string>> want = {
        {make_tag("PlCn"), "Polygons: 2 total, 1 rasterized, 1 visible"},
        {make_tag("RnCy"), "EdgeList: 1 surfaces, 2 edges, 13 spans"},
        {make_tag("EnCn"), "Entities: 0 meshes, 0 sprites, 0 lights"},
    };
    EXPECT_EQ(tagged_lines, want);
}

TEST_F(PolyFrameTest, MipLevelsFollowDistanceAndVariables)
{
    struct Case {
        const char* why;
        float z;
        const char* mipmapping;
        const char* first;
        uint32_t face_flags;
        int level;
    } cases[] = {
        {"near: level 0", 10.0f, "True", "0", 0, 0},
        {"2.5 texels a pixel: level 1", 40.0f, "True", "0", 0, 1},
        {"far: capped at half the log2 width of 16 texels", 400.0f, "True", "0", 0, 2},
        {"mipmapping off", 400.0f, "False", "0", 0, 0},
        {"first mipmap raises the near one", 10.0f, "True", "1", 0, 1},
        {"two-layer faces stay at level 0", 400.0f, "True", "0", FACE_TWO_LAYERS, 0},
    };
    for (const Case& c : cases) {
        set("R_Mipmapping", c.mipmapping);
        set("R_FirstMipmap", c.first);
        Scene scene;
        // One texel is 0.25 units: at z = 10 it spans 64 * 0.25 / 10 = 1.6 pixels.
        Scene::Item& it = scene.add(quad(-0.02f * c.z, -0.02f * c.z, 0.02f * c.z, 0.02f * c.z, c.z), patch_, 0.25, 3);
        it.face.flags |= c.face_flags;
        draw(scene, POLY_CLIP);
        EXPECT_EQ(renderer_.mapper.level, c.level) << c.why;
    }
}

TEST_F(PolyFrameTest, TransparentSurfacesAreDepthTestedOverTheOpaqueOnes)
{
    AlgoTexture* grate = texture("grate", tools::make_grate(64));
    Scene scene;
    Scene::Item& glass = scene.add(quad(-2, -2, 2, 2, 8), grate, 0.125, 5);
    glass.face.flags |= FACE_TRANSPARENT;
    scene.add(quad(-4, -4, 4, 4, 12), patch_, 0.25, 4);
    draw(scene, POLY_CLIP);
    // Bars (opacity 255) cover the wall behind; holes (opacity 0) show it.
    int bars = 0;
    int holes = 0;
    for (int32_t x = 20; x < 44; ++x) {
        const uint32_t p = pixel(x, 24);
        const int red = channel(p, 0);
        // The wall's texels have red 16 u + 8: their low four bits are 8.
        ((red & 15) == 8 ? holes : bars) += 1;
    }
    EXPECT_GT(bars, 0);
    EXPECT_GT(holes, 0);
    EXPECT_EQ(renderer_.stats.drawn, 2);
}

// Counts its draws; queued with or without the occlusion test.
class CountingObject : public RenderObject {
public:
    void draw(PolyRenderer&) override { ++draws; }
    int draws = 0;
};

TEST_F(PolyFrameTest, EntitiesBehindCoveredGapsAreNotQueued)
{
    set("R_ClipRaster", "True");
    CountingObject hidden;
    hidden.entity_type = 4;
    hidden.render_flags = RENDER_OCCLUSION_TEST;
    hidden.sphere = Sphere{{0, 0, 20}, 0.5f};
    CountingObject untested = hidden;
    untested.render_flags = 0;
    CountingObject beside = hidden;
    beside.sphere.centre = Vector{6, 0, 20};
    CountingObject at_eye = hidden;
    at_eye.sphere = Sphere{{0, 0, 0.2f}, 1.0f};
    Scene scene;
    scene.add(quad(-2, -2, 2, 2, 10), patch_, 0.25, 3);
    projection_.begin_frame(view_);
    renderer_.begin_frame();
    renderer_.set_transform(world_, nullptr);
    PolygonRef ref;
    ref.polygon = &scene.items[0].polygon;
    ref.transform = &world_;
    renderer_.add_polygon(ref, POLY_CLIP | POLY_OCCLUDER);
    for (CountingObject* o : {&hidden, &untested, &beside, &at_eye}) {
        renderer_.add_entity(o);
    }
    renderer_.end_frame();
    EXPECT_EQ(hidden.draws, 0);
    EXPECT_EQ(untested.draws, 1);
    EXPECT_EQ(beside.draws, 1);
    EXPECT_EQ(at_eye.draws, 1) << "a sphere around the eye is not tested";
    EXPECT_EQ(renderer_.stats.entities[4], 3);
}

TEST_F(PolyFrameTest, DrawerFollowsTheVariables)
{
    // A quad with a lightmap of one grey level: lit drawers scale the
    // texture, the plain drawer does not, flat fills ignore it.
    Scene scene;
    Scene::Item& it = scene.add(quad(-3, -2, 3, 2, 10), patch_, 0.25, 3);
    std::vector<LightRow> rows(4, LightRow{0, 0, 4});
    std::vector<uint8_t> samples(16, 255);
    it.polygon.lightmap = LightRows{rows.data(), 4, 4, 30.0f};
    it.polygon.samples = samples.data();
    it.polygon.s0 = -16;
    it.polygon.t0 = -16;
    struct Case {
        const char* why;
        const char* lighting;
        const char* lfilter;
        const char* tfilter;
        const char* flat;
        bool lit;
    } cases[] = {
        {"unlit", "False", "True", "False", "False", false},
        {"lit, nearest light", "True", "False", "False", "False", true},
        {"lit, blended light", "True", "True", "False", "False", true},
        {"lit, filtered texture", "True", "True", "True", "False", true},
        {"flat", "True", "True", "False", "True", false},
    };
    for (const Case& c : cases) {
        set("R_Lighting", c.lighting);
        set("R_LFilter", c.lfilter);
        set("R_TFilter", c.tfilter);
        set("R_Flat", c.flat);
        draw(scene, POLY_CLIP);
        const uint32_t centre = pixel(32, 24);
        // Texel (12, 8): red 200 in the palette; 255 of grey light is about 4 times 32.
        const int red = channel(centre, 0);
        if (std::string(c.flat) == "True") {
            // The flat fill flips bit 20 in squares of 16 texels.
            EXPECT_EQ((centre ^ renderer_.mapper.flat_colour) & ~0x100000u, 0u) << c.why;
        } else if (c.lit) {
            EXPECT_EQ(red, 255) << c.why << ": twice the colour saturates";
        } else {
            EXPECT_EQ(red, 200) << c.why;
        }
        EXPECT_EQ(projection_.depth_rows[24][32], 65536 / 10) << c.why;
    }
}

// A frame of the window against an approved image under tests/fixtures/render;
// OSTREL_UPDATE_APPROVED=1 writes it anew (look at it before committing it).
void expect_approved(const ScreenProjection& p, const std::string& name)
{
    const std::string path = std::string(std::getenv("OSTREL_SOURCE_DIR")) + "/tests/fixtures/render/" + name;
    const auto rgb = [&](int32_t x, int32_t y) {
        const uint32_t v = p.window_pixels[p.line_offset[y] + x];
        return std::array<unsigned char, 3>{static_cast<unsigned char>(v >> p.rgb_layout[0]),
                                            static_cast<unsigned char>(v >> p.rgb_layout[1]),
                                            static_cast<unsigned char>(v >> p.rgb_layout[2])};
    };
    if (std::getenv("OSTREL_UPDATE_APPROVED") != nullptr) {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << p.xsize << " " << p.ysize << "\n255\n";
        for (int32_t y = 0; y < p.ysize; ++y) {
            for (int32_t x = 0; x < p.xsize; ++x) {
                const auto c = rgb(x, y);
                out.write(reinterpret_cast<const char*>(c.data()), 3);
            }
        }
    }
    int w = 0;
    int h = 0;
    std::vector<uint32_t> packed;
    ASSERT_TRUE(read_ppm(path, w, h, packed)) << path;
    ASSERT_EQ(w, p.xsize);
    ASSERT_EQ(h, p.ysize);
    std::vector<std::array<unsigned char, 3>> approved(packed.size());
    for (size_t i = 0; i < packed.size(); ++i) {
        approved[i] = {static_cast<unsigned char>(packed[i] >> 16), static_cast<unsigned char>(packed[i] >> 8),
                       static_cast<unsigned char>(packed[i])};
    }
    // Perspective is corrected per piece of 16 pixels, and pieces begin at the
    // frame buffer's 64-byte boundaries: with another alignment a texel edge
    // may move by a pixel. Such a pixel shows a colour of its neighbourhood.
    int moved = 0;
    for (int32_t y = 0; y < p.ysize; ++y) {
        for (int32_t x = 0; x < p.xsize; ++x) {
            const auto got = rgb(x, y);
            if (got == approved[static_cast<size_t>(y * p.xsize + x)]) {
                continue;
            }
            bool nearby = false;
            for (int32_t dy = -1; dy <= 1; ++dy) {
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t nx = std::clamp(x + dx, 0, p.xsize - 1);
                    const int32_t ny = std::clamp(y + dy, 0, p.ysize - 1);
                    nearby = nearby || got == approved[static_cast<size_t>(ny * p.xsize + nx)];
                }
            }
            EXPECT_TRUE(nearby) << name << ": pixel " << x << "," << y;
            ++moved;
        }
    }
    EXPECT_LE(moved, p.xsize * p.ysize / 20) << name;
}

class PolyPictureTest : public PolyTest {};

TEST_F(PolyPictureTest, ATexturedLitQuad)
{
    start(96, 72);
    AlgoTexture* grid = texture("grid", tools::make_uv_grid());
    Scene scene;
    // Tilted away at the top, so that perspective shows.
    SoupPolygon p;
    p.vertices = {{-3, -1.5f, 9}, {3, -1.5f, 9}, {3, 2, 6}, {-3, 2, 6}};
    Scene::Item& it = scene.add(p, grid, 0.03, 3);
    // Light samples rise along u (to the right) and along v.
    std::vector<LightRow> rows(8, LightRow{0, 0, 12});
    std::vector<uint8_t> samples(8 * 12);
    for (int r = 0; r < 8; ++r) {
        rows[static_cast<size_t>(r)].offset = static_cast<int16_t>(12 * r);
        for (int c = 0; c < 12; ++c) {
            samples[static_cast<size_t>(12 * r + c)] = static_cast<uint8_t>(40 + 12 * c + 8 * r);
        }
    }
    it.polygon.lightmap = LightRows{rows.data(), 12, 8, 120.0f};
    it.polygon.samples = samples.data();
    LampData lamp;
    lamp.set_colour(0x0040A0FF);
    lamp.map_colour(projection_.rgb_layout);
    LightSource light(ENTITY_TYPE_LAMP_LIGHT);
    light.set_range(0.03f);
    light.set_intensity(1.0f);
    light.set_lamp(&lamp);
    light.set_position(Vector{1.0f, 0.5f, 7.0f}, Vector{0, 0, 1});
    EntityLink link{&light, nullptr};
    const auto render = [&](bool lit) {
        projection_.begin_frame(view_);
        projection_.clear_window();
        renderer_.begin_frame();
        renderer_.set_transform(world_, nullptr);
        PolygonRef ref;
        ref.polygon = &it.polygon;
        ref.transform = &world_;
        ref.list_b = lit ? &link : nullptr;
        ref.order_key = 1;
        renderer_.add_polygon(ref, POLY_CLIP);
        renderer_.end_frame();
    };

    // The same quad under the least light of the map and no lamp.
    const std::vector<uint8_t> lit_samples = samples;
    std::fill(samples.begin(), samples.end(), static_cast<uint8_t>(40));
    render(false);
    std::vector<uint32_t> dark(static_cast<size_t>(projection_.xsize * projection_.ysize));
    for (int32_t y = 0; y < projection_.ysize; ++y) {
        for (int32_t x = 0; x < projection_.xsize; ++x) {
            dark[static_cast<size_t>(y * projection_.xsize + x)] = pixel(x, y);
        }
    }
    samples = lit_samples;
    render(true);
    EXPECT_EQ(renderer_.stats.drawn, 1);

    // Clear of the edges by a pixel and a half, a pixel inside the quad is
    // drawn (its depth written) and one outside is not; inside, more light
    // never darkens a channel, and the right side, where the samples are
    // highest, gains far more than the left.
    const double margin = 1.5 / projection_.xscale;
    int inside = 0;
    double gain[2] = {0, 0};
    double base[2] = {0, 0};
    for (int32_t y = 0; y < projection_.ysize; ++y) {
        for (int32_t x = 0; x < projection_.xsize; ++x) {
            const double dx = (x - projection_.centre_x) / projection_.xscale;
            const double dy = (y - projection_.centre_y) / projection_.yscale;
            const uint32_t got = pixel(x, y);
            const uint16_t depth = projection_.depth_rows[y][x];
            if (!ray_hits(p, dx, dy, -margin)) {
                EXPECT_EQ(got, 0u) << "outside at " << x << "," << y;
                EXPECT_EQ(depth, 0) << "outside at " << x << "," << y;
                continue;
            }
            if (!ray_hits(p, dx, dy, margin)) {
                continue;
            }
            ++inside;
            EXPECT_NE(depth, 0) << "inside at " << x << "," << y;
            const uint32_t under = dark[static_cast<size_t>(y * projection_.xsize + x)];
            int sum = 0;
            int under_sum = 0;
            for (int k = 0; k < 3; ++k) {
                EXPECT_GE(channel(got, k), channel(under, k)) << x << "," << y;
                sum += channel(got, k);
                under_sum += channel(under, k);
            }
            if (x < projection_.xsize / 3 || x >= 2 * projection_.xsize / 3) {
                const int side = x < projection_.xsize / 3 ? 0 : 1;
                gain[side] += sum;
                base[side] += under_sum;
            }
        }
    }
    EXPECT_GT(inside, projection_.xsize * projection_.ysize / 4);
    ASSERT_GT(base[0], 0.0);
    ASSERT_GT(base[1], 0.0);
    EXPECT_GT(gain[1] / base[1], 1.5 * (gain[0] / base[0]))
        << "left " << gain[0] / base[0] << ", right " << gain[1] / base[1];
    expect_approved(projection_, "poly_lit_quad.ppm");
}

TEST_F(PolyPictureTest, ABoxRoom)
{
    start(96, 72);
    AlgoTexture* grid = texture("grid", tools::make_uv_grid());
    AlgoTexture* checker = texture("checker", tools::make_checker(64, 8));
    // Camera turned 30 degrees about the vertical axis, inside a box.
    const float a = static_cast<float>(M_PI / 6);
    Matrix& m = view_.view;
    mat_identity(m);
    m.m[0] = std::cos(a);
    m.m[2] = -std::sin(a);
    m.m[8] = std::sin(a);
    m.m[10] = std::cos(a);
    Scene scene;
    const float s = 8.0f;
    const float h = 3.0f;
    // Each wall clockwise seen from inside.
    const std::vector<std::vector<Vector>> walls = {
        {{-s, -h, s}, {s, -h, s}, {s, h, s}, {-s, h, s}},     // far (+z)
        {{s, -h, -s}, {-s, -h, -s}, {-s, h, -s}, {s, h, -s}}, // near (-z)
        {{s, -h, s}, {s, -h, -s}, {s, h, -s}, {s, h, s}},     // right (+x)
        {{-s, -h, -s}, {-s, -h, s}, {-s, h, s}, {-s, h, -s}}, // left (-x)
        {{-s, h, s}, {s, h, s}, {s, h, -s}, {-s, h, -s}},     // floor (+y, down)
        {{-s, -h, -s}, {s, -h, -s}, {s, -h, s}, {-s, -h, s}}, // ceiling (-y)
    };
    int key = 10;
    for (const std::vector<Vector>& w : walls) {
        SoupPolygon p;
        p.vertices = w;
        scene.add(p, key % 2 == 0 ? grid : checker, 0.05, key);
        --key;
    }
    set("R_ClipCone", "True");
    set("R_ClipRaster", "True");
    draw(scene, POLY_CLIP | POLY_OCCLUDER | POLY_HIDDEN_DROP);
    EXPECT_TRUE(renderer_.screen_covered());
    EXPECT_EQ(renderer_.stats.dropped, 0);
    // Every window pixel belongs to exactly one wall.
    const std::vector<int> ids = span_ids(scene);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), -1), 0);
    // The wall each pixel shows is the one its ray meets first: the walls in
    // camera space, each pixel clear of a wall's edges by a pixel and a half.
    std::vector<SoupPolygon> seen(walls.size());
    for (size_t k = 0; k < walls.size(); ++k) {
        for (const Vector& w : walls[k]) {
            seen[k].vertices.push_back(Vector{m.m[0] * w.x + m.m[1] * w.y + m.m[2] * w.z + m.m[3],
                                              m.m[4] * w.x + m.m[5] * w.y + m.m[6] * w.z + m.m[7],
                                              m.m[8] * w.x + m.m[9] * w.y + m.m[10] * w.z + m.m[11]});
        }
    }
    const double margin = 1.5 / projection_.xscale;
    int checked = 0;
    for (int32_t y = 0; y < projection_.ysize; ++y) {
        for (int32_t x = 0; x < projection_.xsize; ++x) {
            const double dx = (x - projection_.centre_x) / projection_.xscale;
            const double dy = (y - projection_.centre_y) / projection_.yscale;
            int nearest = -1;
            double nearest_depth = 0.0;
            for (size_t k = 0; k < seen.size(); ++k) {
                double depth = 0.0;
                if (ray_hits(seen[k], dx, dy, margin, &depth) && depth > 0.0 && (nearest < 0 || depth < nearest_depth)) {
                    nearest = static_cast<int>(k);
                    nearest_depth = depth;
                }
            }
            if (nearest >= 0) {
                ++checked;
                EXPECT_EQ(ids[static_cast<size_t>(y * projection_.xsize + x)], nearest) << x << "," << y;
            }
        }
    }
    EXPECT_GT(checked, projection_.xsize * projection_.ysize / 2);
    expect_approved(projection_, "poly_box_room.ppm");
}

} // namespace
