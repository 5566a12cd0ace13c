// Mesh model files: paths, the header, skins by pattern, strips and fans,
// fixed-point texel coordinates, comments anywhere, the radius over every
// frame, every count and index a file gives checked, and the model as a
// cache owner that the heap may drop and the next touch loads again.
#include "core/kheap.h"
#include "entity_fixture.h"
#include "renderer/mesh_model.h"
#include "support/text_lines.h"
#include "tools/models/demo_models.h"
#include "tools/models/model_writer.h"
#include "tools/tmm/tmm_writer.h"
#include "world/view/palette.h"
#include "world/mesh_normals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Four vertices, one group, two frames; skin 0 holds a strip and a fan of
// the same four corners.
tools::ModelDesign quad_design()
{
    tools::ModelDesign d;
    d.skin_pattern = "quads0";
    tools::ModelSkin skin{32, 32, {}};
    const std::vector<tools::ModelCorner> corners = {{0, 0.0f, 0.0f}, {1, 0.5f, 1.0f}, {2, 2.0f, 3.0f},
                                                     {3, 31.0f, 31.5f}};
    skin.polygons.push_back({true, corners});
    skin.polygons.push_back({false, corners});
    d.skins.push_back(skin);
    d.sets.push_back({{0}, 4});
    d.groups.push_back({0, 4});
    d.vertices.assign(4, {0, 0});
    for (int f = 0; f < 2; ++f) {
        tools::ModelFrame frame;
        frame.group = 0;
        frame.origin[2] = f == 0 ? 0.0f : 100.0f;
        frame.scale[0] = frame.scale[1] = frame.scale[2] = 1.0f;
        frame.points = {{0, 0, 0, 5}, {255, 0, 0, 5}, {0, 255, 0, 5}, {255, 255, 0, 161}};
        d.frames.push_back(frame);
    }
    return d;
}

tools::TextureImage pattern_skin(int side)
{
    tools::TextureImage image = tools::model_skin(3);
    image.width = image.height = side;
    image.index.assign(static_cast<size_t>(side * side), 7);
    return image;
}

class MeshModelTest : public EntityTest {
protected:
    void SetUp() override
    {
        EntityTest::SetUp();
        write_skin("t/quads0.cmt");
    }
    void write_skin(const std::string& path)
    {
        tree_.write("kavrin/models/" + path, tools::cmt_bytes(tools::model_skin(1)));
    }
    void write_model(const std::string& path, const std::string& text) { tree_.write("kavrin/models/" + path, text); }

    // Loads models/t/<name>.txt afresh; null when refused.
    const MeshData* load(const std::string& text, const char* resource = "t")
    {
        model_ = std::make_unique<MeshModel>();
        write_model(std::string(resource) + (resource[0] != '\0' ? "/" : "") + "quad.txt", text);
        EXPECT_EQ(model_->set_name(resource, "quad"), 1);
        return model_->touch() != 0 ? model_->model : nullptr;
    }

    std::unique_ptr<MeshModel> model_;
};

} // namespace

TEST_F(MeshModelTest, TheWrittenQuadLoadsWhole)
{
    const MeshData* m = load(tools::model_text(quad_design()));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->skin_images, 1);
    EXPECT_EQ(m->skin_image[0].usize, 32);
    EXPECT_EQ(m->triangles, 4);
    EXPECT_EQ(m->vertices, 4);
    EXPECT_EQ(m->groups, 1);
    EXPECT_EQ(m->frames, 2);
    EXPECT_EQ(m->frame_points, 8);
    EXPECT_EQ(m->frame[1].first, m->frame_point + 4);
    EXPECT_EQ(m->frame_point[3].n, 161);
    EXPECT_EQ(m->triangle[0].texture, &m->skin_image[0]);
}

TEST_F(MeshModelTest, StripsKeepTheirFirstTrianglesWindingFansTurnAroundTheirFirstCorner)
{
    const MeshData* m = load(tools::model_text(quad_design()));
    ASSERT_NE(m, nullptr);
    const uint32_t expected[4][3] = {{0, 1, 2}, {2, 1, 3}, {0, 1, 2}, {0, 2, 3}};
    for (int t = 0; t < 4; ++t) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(m->triangle[t].vertex[k], expected[t][k]) << "triangle " << t << " corner " << k;
        }
    }
    // Texel coordinates travel with their corners, in 16.16.
    EXPECT_EQ(m->triangle[1].u[0], 2 * 65536);
    EXPECT_EQ(m->triangle[1].u[1], 32768) << "u = 0.5";
    EXPECT_EQ(m->triangle[1].v[2], 2064384) << "v = 31.5";
}

TEST_F(MeshModelTest, TheRadiusCoversEveryFrame)
{
    const MeshData* m = load(tools::model_text(quad_design()));
    ASSERT_NE(m, nullptr);
    EXPECT_FLOAT_EQ(m->radius, std::sqrt(255.0f * 255.0f * 2.0f + 100.0f * 100.0f));
}

TEST_F(MeshModelTest, CommentLinesMayStandAnywhereAndLineEndsMayCarryCarriageReturns)
{
    std::vector<std::string> with_comments;
    for (const std::string& l : lines_of(tools::model_text(quad_design()))) {
        with_comments.push_back("# a comment");
        with_comments.push_back(l);
    }
    for (const char* end : {"\n", "\r\n"}) {
        SCOPED_TRACE(end[0] == '\r' ? "CRLF" : "LF");
        const MeshData* m = load(joined(with_comments, end));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->frame_points, 8);
        EXPECT_EQ(m->frame_point[7].n, 161);
    }
}

TEST_F(MeshModelTest, PathsWithAndWithoutResource)
{
    write_skin("quads0.cmt");
    ASSERT_NE(load(tools::model_text(quad_design()), ""), nullptr) << "models/quad.txt";
    ASSERT_NE(load(tools::model_text(quad_design()), "t"), nullptr) << "models/t/quad.txt";
    model_ = std::make_unique<MeshModel>();
    EXPECT_EQ(model_->set_name("t", "missing"), 1);
    EXPECT_EQ(model_->touch(), 0);
    EXPECT_TRUE(capture_.contains("Mesh: Can't load model 't:missing'"));
    EXPECT_EQ(model_->set_name("t", "ninechars"), 0);
    EXPECT_EQ(model_->set_name("ninechars", "x"), 0);
    EXPECT_STREQ(model_->name, "missing");
}

TEST_F(MeshModelTest, SkinsAreNamedByThePatternWithItsLastCharacterReplaced)
{
    struct Case {
        const char* pattern;
        std::vector<std::string> files;
    } cases[] = {{"skin0", {"skin0", "skin1", "skin2"}}, {"x", {"0", "1", "2"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        tools::ModelDesign d = quad_design();
        d.skin_pattern = c.pattern;
        d.skins.push_back(d.skins[0]);
        d.skins.push_back(d.skins[0]);
        d.skins[2].width = d.skins[2].height = 64;
        for (size_t i = 0; i < c.files.size(); ++i) {
            tree_.write("kavrin/models/t/" + c.files[i] + ".cmt",
                        tools::cmt_bytes(i == 2 ? pattern_skin(64) : tools::model_skin(static_cast<int>(i))));
        }
        const MeshData* m = load(tools::model_text(d));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->skin_images, 3);
        EXPECT_EQ(m->skin_image[2].usize, 64) << "skin 2 is the 64 x 64 file";
        EXPECT_EQ(m->triangle[8].texture, &m->skin_image[2]);
    }
}

TEST_F(MeshModelTest, BadFilesAreRefusedWithTheirReason)
{
    // Line numbers of the written quad (no comments).
    enum { MAGIC = 0, SKINS = 1, PATTERN = 2, TRIANGLES = 3, GROUPS = 6, VERTICES = 7, SETS = 8, REFS = 9,
           FRAMES = 11, POINTS = 12, SIZE = 13, STRIP_K = 16, CORNER0 = 17, SET0 = 26, GROUP0 = 27,
           FRAME0 = 32, ORIGIN0 = 33, POINT0 = 35 };
    struct Case {
        const char* why;
        int line;
        const char* text;
        const char* message;
    } cases[] = {
        {"a map identifier after the magic", MAGIC, "textualModel,version004,0x12", "not a textual model"},
        {"a blank after the magic", MAGIC, "textualModel,version004 ", "not a textual model"},
        {"no skin", SKINS, "0", "skin count"},
        {"eleven skins", SKINS, "11", "skin count"},
        {"an empty skin pattern", PATTERN, "", "empty skin name pattern"},
        {"a skin that is not there", PATTERN, "nothere", "can't load the skin"},
        {"more triangles than the drawing buffers", TRIANGLES, "2049", "triangle count"},
        {"fewer triangles in the header", TRIANGLES, "3", "more triangles than"},
        {"more triangles in the header", TRIANGLES, "5", "the triangles differ"},
        {"seventeen groups", GROUPS, "17", "group count"},
        {"more vertices than the drawing buffers", VERTICES, "2049", "vertex count"},
        {"fewer sets than groups", SETS, "0", "set count"},
        {"more group references in the header", REFS, "2", "set members differ"},
        {"a negative frame count", FRAMES, "-1", "frame count"},
        {"more frame points in the header", POINTS, "9", "frame points differ"},
        {"a skin size that is not the image's", SIZE, "32 64", "skin size differs"},
        {"a polygon of two corners", STRIP_K, "2", "corner count"},
        {"a corner beyond the vertices", CORNER0, "4 0 0", "corner vertex 4 out of range"},
        {"a texel coordinate that is not a number", CORNER0, "0 nan 0", "u missing"},
        {"a corner without its v", CORNER0, "0 1", "v missing"},
        {"a set member beyond the groups", SET0, "1 4 1", "set member 1 out of range"},
        {"set vertices that differ from the header's", SET0, "1 3 0", "the sets' vertices differ"},
        {"a group pivoted on a vertex of its own set", GROUP0, "2 4", "hangs on a vertex"},
        {"group points that are not the vertices it places", GROUP0, "0 9", "more frame points than"},
        {"a frame of a group that is not there", FRAME0, "1", "frame group"},
        {"an origin of two numbers", ORIGIN0, "0 0", "origin missing"},
        {"an infinite origin", ORIGIN0, "0 0 1e39", "origin missing"},
        {"a normal beyond the table", POINT0, "0 0 0 162", "normal number out of range"},
        {"a point of three numbers", POINT0, "0 0 0", "normal missing"},
        {"a coordinate wider than 32 bits", POINT0, "0 0 4294967296 5", "z missing"},
    };
    const std::vector<std::string> good = lines_of(tools::model_text(quad_design()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::string> bad = good;
        bad[static_cast<size_t>(c.line)] = c.text;
        capture_.clear();
        EXPECT_EQ(load(joined(bad)), nullptr);
        EXPECT_TRUE(capture_.contains(c.message)) << (capture_.lines().empty() ? "" : capture_.lines()[0].text);
        EXPECT_TRUE(capture_.contains("Mesh: Can't load model 't:quad'"));
    }
    for (size_t cut = 1; cut < good.size(); cut += 7) {
        SCOPED_TRACE("cut after line " + std::to_string(cut));
        EXPECT_EQ(load(joined(std::vector<std::string>(good.begin(), good.begin() + static_cast<long>(cut)))),
                  nullptr);
    }
}

TEST_F(MeshModelTest, BlendedSetsAndPivotsFollowTheDrawingOrder)
{
    const tools::ModelDesign figure = tools::figure_model();
    struct Case {
        const char* why;
        std::function<void(tools::ModelDesign&)> change;
        bool loads;
    } cases[] = {
        {"our figure as written", [](tools::ModelDesign&) {}, true},
        {"a blended set of no member", [](tools::ModelDesign& d) { d.sets[3].members.clear(); }, false},
        {"a blended set of 64 members",
         [](tools::ModelDesign& d) {
             d.sets[3].members.assign(64, 0);
             d.groups[0].points += 63;
             for (int f = 0; f < 3; ++f) {
                 d.frames[static_cast<size_t>(f)].points.resize(d.frames[static_cast<size_t>(f)].points.size() + 63);
             }
         },
         false},
        {"a head pivoted on a vertex of a later set", [](tools::ModelDesign& d) { d.groups[1].pivot = 30; }, false},
        {"a pivot vertex naming the group itself", [](tools::ModelDesign& d) { d.vertices[24].group = 1; }, false},
        {"a body point more than the vertices it places",
         [](tools::ModelDesign& d) {
             d.groups[0].points += 1;
             for (int f = 0; f < 3; ++f) {
                 d.frames[static_cast<size_t>(f)].points.push_back({});
             }
         },
         false},
        {"a group without frames",
         [](tools::ModelDesign& d) {
             d.frames.erase(d.frames.begin() + 3);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        tools::ModelDesign d = figure;
        c.change(d);
        write_skin("t/figures0.cmt");
        EXPECT_EQ(load(tools::model_text(d)) != nullptr, c.loads);
    }
}

TEST_F(MeshModelTest, TheHeapDropsTheDataAndTheNextTouchReadsItAgain)
{
    KHeap heap;
    ASSERT_EQ(heap.init(1 << 20, KHEAP_CHECK), 1);
    KHeap* const saved = kheap;
    kheap = &heap;
    {
        void* const place = heap.alloc(sizeof(MeshModel), KHEAP_FROM_BOTTOM, "MeshModel");
        ASSERT_NE(place, nullptr);
        MeshModel* const model = new (place) MeshModel;
        ASSERT_EQ(model->set_name("demo", "figure"), 1);
        const uint8_t layout[4] = {16, 8, 0, 24};
        ASSERT_EQ(model->touch(reinterpret_cast<uintptr_t>(layout)), 1);
        const uint32_t converted = model->model->skin_image[0].palette[200];
        EXPECT_EQ(model->model->groups, 3);
        model->flush();
        EXPECT_EQ(model->model, nullptr);
        ASSERT_EQ(model->touch(reinterpret_cast<uintptr_t>(layout)), 1);
        EXPECT_EQ(model->model->skin_image[0].palette[200], converted) << "converted once, not twice";
        model->convert_skins(FILE_ORDER_LAYOUT);
        EXPECT_NE(model->model->skin_image[0].palette[200], converted);
        model->~MeshModel();
        heap.free(place);
    }
    kheap = saved;
    heap.close();
}

namespace {

// The demo's own models load, and the walker has a frame of its one group
// for every frame its meta-model's cycles and poses name.
TEST_F(MeshModelTest, TheDemoModelsLoadWithTheFramesTheirMetaModelsName)
{
    const tmm::Model meta = tmm::demo_walker();
    int named = meta.poses;
    for (const tmm::Cycle& c : meta.cycles) {
        for (const tmm::Frame& f : c.frames) {
            named = std::max(named, f.frame + 1);
        }
    }
    write_skin("t/walkers0.cmt");
    const MeshData* const walker = load(tools::model_text(tools::walker_model()));
    ASSERT_NE(walker, nullptr);
    EXPECT_EQ(walker->groups, 1) << "only group 0 is posed";
    EXPECT_GE(walker->frames, named);
    for (int32_t f = 0; f < walker->frames; ++f) {
        EXPECT_EQ(walker->frame[f].group_id, 0) << f;
    }
    EXPECT_GT(walker->radius, 50.0f) << "a figure of 57 units";
    EXPECT_LT(walker->radius, 80.0f);

    write_skin("t/doors0.cmt");
    const MeshData* const door = load(tools::model_text(tools::door_model()));
    ASSERT_NE(door, nullptr);
    EXPECT_NEAR(door->radius, std::sqrt(64.0f * 64.0f + 8.0f * 8.0f + 80.0f * 80.0f), 1.0f);
    write_skin("t/stepss0.cmt");
    const MeshData* const steps = load(tools::model_text(tools::steps_model()));
    ASSERT_NE(steps, nullptr);
    EXPECT_EQ(steps->triangles, 4 * 12);
}

} // namespace
