// geometry.txt and lightmap.bin read into a world over a shared map made by
// hand: five file planes (ten with their opposites), one model, no cells.
#include "world/view/client_world.h"
#include "support/print_capture.h"
#include "tools/fsys/chunk_writer.h"
#include "world/shared_map.h"

#include "fsys/fsys.h"
#include "fsys/temp_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class GeometryFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture_.show_all();
        saved_ = fsys;
        fsys = &files_;
        ASSERT_EQ(files_.init(), 1);
        ASSERT_EQ(files_.mount(tree_.path().c_str(), 1, 10), 1);
        map_.planes = new Plane[10];
        map_.plane_count = 10;
        for (int i = 0; i < 10; ++i) {
            map_.planes[i] = Plane{{0.0f, 0.0f, i < 5 ? 1.0f : -1.0f}, static_cast<float>(i)};
        }
        map_.model_count = 1;
        ASSERT_EQ(map_.models.create(&map_, 1), 1);
        world_.map = &map_;
        world_.patches = new AlgoTexture[2];
        world_.patch_count = 2;
    }
    void TearDown() override
    {
        world_.map = nullptr; // not acquired through a share manager
        world_.close_map();
        files_.close();
        fsys = saved_;
    }

    int geometry(const std::string& text)
    {
        tree_.write("geometry.txt", text);
        FileStream* s = fsys->open("geometry.txt", FSYS_TEXT);
        uint32_t id = 0;
        const int r = read_geometry(world_, s, &id);
        s->close();
        return r;
    }

    int lightmap(const std::vector<uint8_t>& bytes)
    {
        tree_.write("lightmap.bin", bytes);
        FileStream* s = fsys->open("lightmap.bin", FSYS_BINARY);
        uint32_t id = 0;
        const int r = read_lightmaps(world_, s, &id);
        s->close();
        return r;
    }

    PrintCapture capture_;
    TempTree tree_;
    FSys files_;
    FSys* saved_ = nullptr;
    SharedMap map_;
    ClientWorld world_;
};

// A file of four vertices, two faces and the given polygon lines.
std::string geometry_text(const std::string& faces, int face_count, const std::vector<std::string>& polygons,
                          int vertices = 20, int pointers = 200)
{
    std::string t = "textualGeometry,version005\n1\n" + std::to_string(vertices) + "\n0\n" + std::to_string(face_count) +
                    "\n" + std::to_string(polygons.size()) + "\n" + std::to_string(pointers) + "\n";
    t += "0 0 0 " + std::to_string(polygons.size()) + "\n";
    for (int i = 0; i < vertices; ++i) {
        // Points on a circle in z = 0, in clockwise order seen from +z.
        const double a = -2.0 * M_PI * i / vertices;
        t += std::to_string(100.0 * std::cos(a)) + " " + std::to_string(100.0 * std::sin(a)) + " 0\n";
    }
    t += faces;
    for (const std::string& p : polygons) {
        t += p + "\n";
    }
    return t;
}

const char* const TWO_FACES = "2 0 16\n1 2 3\n1 0 0\n0 1 0\n"
                              "0 1 1024\n7 7 7\n7 7 7\n7 7 7\n";

TEST_F(GeometryFileTest, FacesTakeTheOppositePlaneAndTheSkyMapping)
{
    ASSERT_EQ(geometry(geometry_text(TWO_FACES, 2, {"0 3 0 0 1 0 2 0"})), 1);
    EXPECT_EQ(world_.faces[0].plane, &map_.planes[7]) << "flag 0x10 adds half the plane count";
    EXPECT_EQ(world_.faces[0].origin.x, 1.0f);
    const MapFace& sky = world_.faces[1];
    EXPECT_EQ(sky.flags, 0x400u | 0x100000u);
    EXPECT_EQ(sky.origin.z, 5000.0f);
    EXPECT_EQ(sky.u_axis.x, 50.0f);
    EXPECT_EQ(sky.v_axis.y, 50.0f);
    EXPECT_EQ(sky.patch, &world_.patches[1]);
}

TEST_F(GeometryFileTest, PolygonNumbersAreCLiterals)
{
    ASSERT_EQ(geometry(geometry_text(TWO_FACES, 2, {"1 4 0x10 0 017 0 2 0 5 0", "0 3 0 0 1 0 2 0", "0 3 1 0 2 0 3 0",
                                                    "1 3 0X3 0 4 0 5 0"})),
              1);
    const MapPolygon& p = world_.polygons[0];
    EXPECT_EQ(p.face, &world_.faces[1]);
    ASSERT_EQ(p.vertex_count, 4);
    EXPECT_EQ(p.vertices[0], &world_.vertices[16]);
    EXPECT_EQ(p.vertices[1], &world_.vertices[15]);
    EXPECT_EQ(p.vertices[2], &world_.vertices[2]);
    EXPECT_EQ(p.vertices[3], &world_.vertices[5]);
    EXPECT_EQ(world_.polygons[3].vertices[0], &world_.vertices[3]);
}

TEST_F(GeometryFileTest, SixtyFourVerticesLoadAndSixtyFiveDoNot)
{
    const auto polygon = [](int n) {
        std::string line = "0 " + std::to_string(n);
        for (int i = 0; i < n; ++i) {
            line += " " + std::to_string(i) + " 0";
        }
        return line;
    };
    EXPECT_EQ(geometry(geometry_text(TWO_FACES, 2, {polygon(64)}, 64)), 1);
    world_.map = nullptr;
    world_.close_map();
    world_.map = &map_;
    world_.patches = new AlgoTexture[2];
    world_.patch_count = 2;
    capture_.clear();
    EXPECT_EQ(geometry(geometry_text(TWO_FACES, 2, {polygon(65)}, 65)), 0);
    EXPECT_TRUE(capture_.contains("KLoad: Too many vertices in polygon #0"));
}

TEST_F(GeometryFileTest, TooFewVertexPointersAreRefused)
{
    EXPECT_EQ(geometry(geometry_text(TWO_FACES, 2, {"0 3 0 0 1 0 2 0", "0 3 0 0 1 0 2 0"}, 20, 5)), 0);
    EXPECT_TRUE(capture_.contains("KLoad: Vertex pointers run out at polygon #1"));
}

void put(std::vector<uint8_t>& out, std::initializer_list<uint32_t> words)
{
    for (const uint32_t v : words) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
}

TEST_F(GeometryFileTest, LightmapWidthsAndLampLayers)
{
    ASSERT_EQ(geometry(geometry_text(TWO_FACES, 2, {"0 3 0 0 1 0 2 0", "0 3 0 0 1 0 2 0", "0 3 0 0 1 0 2 0"})), 1);
    std::vector<uint8_t> pold;
    // Polygon 0: v = 1, a lightmap without lamps; s1 - s0 = 31 gives 2 columns.
    put(pold, {1, 0, 31, 0, 0});
    pold.insert(pold.end(), {0, 0, 0, 2});
    put(pold, {0, 0});
    // Polygon 1: no lightmap.
    put(pold, {0});
    // Polygon 2: one lamp; s1 - s0 = 32 gives 3 columns, two rows.
    put(pold, {2, 16, 48, 16, 32});
    pold.insert(pold.end(), {0, 0, 0, 3, 3, 0, 0, 3});
    put(pold, {0, 2, 1, 8});
    std::vector<uint8_t> head;
    put(head, {1, 0, 3, 2, 14, 3, 1, 0, 1});
    tools::ChunkWriter w("LIMP");
    w.add("HEAD", head);
    w.add("POLD", pold);
    w.add("XLAT", std::vector<uint8_t>{255, 128, 1, 10, 20, 30, 0, 0});
    w.add("RLMD", std::vector<uint8_t>{0, 1, 1, 0, 1, 0, 1, 0, 1, 2, 3, 4, 5, 6});
    ASSERT_EQ(lightmap(w.bytes()), 1);
    const MapPolygon& p0 = world_.polygons[0];
    EXPECT_EQ(p0.lightmap.width, 2);
    EXPECT_EQ(p0.lightmap.height, 1);
    EXPECT_EQ(p0.lamp_count, 0);
    EXPECT_NE(p0.samples, nullptr);
    EXPECT_EQ(world_.polygons[1].samples, nullptr);
    EXPECT_EQ(world_.polygons[1].lamps, nullptr);
    const MapPolygon& p2 = world_.polygons[2];
    EXPECT_EQ(p2.lightmap.width, 3);
    EXPECT_EQ(p2.lightmap.height, 2);
    EXPECT_EQ(p2.s0, 16);
    EXPECT_EQ(p2.t0, 16);
    EXPECT_EQ(p2.colours, world_.lightmap_colours);
    ASSERT_EQ(p2.lamp_count, 1);
    EXPECT_EQ(p2.lamps[0], world_.map_lamps.lamp(1));
    EXPECT_EQ(p2.lamp_layers[0], world_.lightmap_data + 8);
    EXPECT_EQ(world_.map_lamp_count, 2);
    EXPECT_EQ(world_.lightmap_colours[0], 127u | 64u << 8 | 0u << 16 | 64u << 24);
}

} // namespace
