// The OpenGL program's model text reader: our writer's models load into the
// chains and records the draw walks, and every fault a file can carry is
// refused with its line and reason instead of reaching the draw. The model's
// data lives in heap blocks of the model.
#include "core/config_variable.h"
#include "core/kheap.h"
#include "core/memory_block.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "gl/gl_mesh_data.h"
#include "renderer/mesh_model.h"
#include "support/print_capture.h"
#include "support/text_lines.h"
#include "tools/models/demo_models.h"
#include "tools/models/model_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Four vertices, one group, two frames; the skin holds a strip and a fan of
// the same four corners.
tools::ModelDesign quad_design()
{
    tools::ModelDesign d;
    d.skin_pattern = "quads0";
    tools::ModelSkin skin{32, 32, {}};
    const std::vector<tools::ModelCorner> corners = {{0, 0.0f, 0.0f}, {1, 12.9f, -3.7f}, {2, 2.0f, 3.0f},
                                                     {3, 31.0f, 31.5f}};
    skin.polygons.push_back({false, corners});
    skin.polygons.push_back({true, corners});
    d.skins.push_back(skin);
    d.sets.push_back({{0}, 4});
    d.groups.push_back({0, 4});
    d.vertices.assign(4, {0, 0});
    for (int f = 0; f < 2; ++f) {
        tools::ModelFrame frame;
        frame.group = 0;
        frame.origin[2] = f == 0 ? 0.0f : 100.0f;
        frame.points = {{0, 0, 0, 5}, {255, 0, 0, 5}, {0, 255, 0, 5}, {255, 255, 0, 161}};
        d.frames.push_back(frame);
    }
    return d;
}

// Everything the draw reads, as text, to compare two loads.
std::string summary(const GLMeshData& m)
{
    std::ostringstream out;
    for (const GLMeshSkin& s : m.skin_image) {
        out << s.name << ' ' << s.first_strip << ' ' << s.strips << ' ' << s.first_fan << ' ' << s.fans << ';';
    }
    for (const GLMeshTriangleChain& c : m.triangle_chain) {
        out << c.first << ':' << c.count << ' ';
    }
    for (const GLMeshTriangleVertex& v : m.triangle_vertex) {
        out << v.vertex << ',' << v.s << ',' << v.t << ' ';
    }
    for (const GLMeshSet& s : m.set) {
        out << s.first_ref << ',' << s.groups << ',' << s.vertices << ' ';
    }
    for (const int32_t r : m.group_ref) {
        out << r << ' ';
    }
    for (const GLMeshGroup& g : m.group) {
        out << g.pivot_id << ',' << g.points << ' ';
    }
    for (const GLMeshVertex& v : m.vertex) {
        out << v.group << ',' << v.point << ' ';
    }
    for (const GLMeshFrame& f : m.frame) {
        out << f.group_id << '@' << f.first_point << ' ' << f.offset[0] << ' ' << f.offset[1] << ' ' << f.offset[2]
            << ' ' << f.scale[0] << ' ' << f.scale[1] << ' ' << f.scale[2] << ';';
    }
    for (const GLMeshFramePoint& p : m.frame_point) {
        out << int(p.x) << ',' << int(p.y) << ',' << int(p.z) << ',' << int(p.n) << ' ';
    }
    out << m.radius;
    return out.str();
}

// Loads text; on refusal the reason lands in why_ and null comes back.
class MeshTextTest : public ::testing::Test {
protected:
    const GLMeshData* read(const std::string& text)
    {
        why_.clear();
        return read_mesh_text(text, data_, why_) ? &data_ : nullptr;
    }

    GLMeshData data_;
    std::string why_;
};

} // namespace

TEST_F(MeshTextTest, OurModelsLoadAsTheirDesignsSay)
{
    const struct {
        const char* name;
        tools::ModelDesign design;
    } models[] = {{"cube", tools::cube_model()},
                  {"figure", tools::figure_model()},
                  {"walker", tools::walker_model()},
                  {"door", tools::door_model()},
                  {"steps", tools::steps_model()},
                  {"quad", quad_design()}};
    for (const auto& m : models) {
        SCOPED_TRACE(m.name);
        const tools::ModelDesign& d = m.design;
        const GLMeshData* got = read(tools::model_text(d));
        ASSERT_NE(got, nullptr) << why_;
        ASSERT_EQ(got->skin_image.size(), d.skins.size());
        ASSERT_EQ(got->vertices(), static_cast<int32_t>(d.vertices.size()));
        ASSERT_EQ(got->frames(), static_cast<int32_t>(d.frames.size()));
        // Chains: each skin's strips first, then its fans, corners in order.
        size_t chain = 0;
        for (size_t k = 0; k < d.skins.size(); ++k) {
            const GLMeshSkin& skin = got->skin_image[k];
            EXPECT_EQ(skin.first_strip, static_cast<int32_t>(chain));
            EXPECT_EQ(skin.first_fan, skin.first_strip + skin.strips);
            for (const bool strip : {true, false}) {
                for (const tools::ModelPolygon& p : d.skins[k].polygons) {
                    if (p.strip != strip) {
                        continue;
                    }
                    ASSERT_LT(chain, got->triangle_chain.size());
                    const GLMeshTriangleChain& c = got->triangle_chain[chain++];
                    ASSERT_EQ(c.count, static_cast<int32_t>(p.corners.size()));
                    ASSERT_LE(static_cast<size_t>(c.first) + p.corners.size(), got->triangle_vertex.size());
                    for (size_t i = 0; i < p.corners.size(); ++i) {
                        const GLMeshTriangleVertex& v = got->triangle_vertex[static_cast<size_t>(c.first) + i];
                        EXPECT_EQ(v.vertex, static_cast<int32_t>(p.corners[i].vertex));
                        EXPECT_EQ(v.s, static_cast<int32_t>(std::trunc(p.corners[i].u)));
                        EXPECT_EQ(v.t, static_cast<int32_t>(std::trunc(p.corners[i].v)));
                    }
                }
            }
            EXPECT_EQ(skin.first_fan + skin.fans, static_cast<int32_t>(chain));
        }
        EXPECT_EQ(chain, got->triangle_chain.size());
        // Every frame's points follow one another, as many as its group has.
        int32_t next = 0;
        double radius = 0.0;
        for (size_t f = 0; f < d.frames.size(); ++f) {
            const GLMeshFrame& frame = got->frame[f];
            EXPECT_EQ(frame.group_id, d.frames[f].group);
            EXPECT_EQ(frame.first_point, next);
            ASSERT_LT(static_cast<size_t>(frame.group_id), got->group.size());
            next += got->group[static_cast<size_t>(frame.group_id)].points;
            for (const tools::ModelPoint& p : d.frames[f].points) {
                const double at[3] = {d.frames[f].origin[0] + d.frames[f].scale[0] * double(p.x),
                                      d.frames[f].origin[1] + d.frames[f].scale[1] * double(p.y),
                                      d.frames[f].origin[2] + d.frames[f].scale[2] * double(p.z)};
                radius = std::max(radius, std::sqrt(at[0] * at[0] + at[1] * at[1] + at[2] * at[2]));
            }
        }
        EXPECT_EQ(next, static_cast<int32_t>(got->frame_point.size()));
        EXPECT_NEAR(got->radius, radius, 1e-4 * radius);
    }
    // The cube's corners lie at 16 on every axis.
    ASSERT_NE(read(tools::model_text(tools::cube_model())), nullptr);
    EXPECT_NEAR(data_.radius, 16.0 * std::sqrt(3.0), 1e-4);
}

TEST_F(MeshTextTest, SkinNamesTakeTheirDigitAndTexelsTruncateTowardZero)
{
    const struct {
        const char* pattern;
        std::vector<std::string> names;
    } cases[] = {{"skin0", {"skin0", "skin1", "skin2"}},
                 {"abc7", {"abc0", "abc1", "abc2"}},
                 {"x", {"0", "1", "2"}},
                 {"eightchr", {"eightch0", "eightch1", "eightch2"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        tools::ModelDesign d = quad_design();
        d.skin_pattern = c.pattern;
        d.skins.assign(3, d.skins[0]);
        ASSERT_NE(read(tools::model_text(d)), nullptr) << why_;
        ASSERT_EQ(data_.skin_image.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(std::string(data_.skin_image[i].name), c.names[i]);
        }
    }
    // 12.9 and -3.7 in the file: the strip's second corner.
    ASSERT_NE(read(tools::model_text(quad_design())), nullptr) << why_;
    const GLMeshTriangleVertex& v = data_.triangle_vertex[1];
    EXPECT_EQ(v.vertex, 1);
    EXPECT_EQ(v.s, 12);
    EXPECT_EQ(v.t, -3);
    EXPECT_EQ(data_.triangle_vertex[7].t, 31); // 31.5
}

TEST_F(MeshTextTest, CommentLinesAndCarriageReturnsChangeNothing)
{
    const std::vector<std::string> lines = lines_of(tools::model_text(tools::figure_model()));
    ASSERT_NE(read(joined(lines)), nullptr) << why_;
    const std::string plain = summary(data_);
    std::vector<std::string> commented;
    for (const std::string& l : lines) {
        commented.push_back("# a note");
        commented.push_back(l);
    }
    ASSERT_NE(read(joined(commented, "\r\n")), nullptr) << why_;
    EXPECT_EQ(summary(data_), plain);
}

TEST_F(MeshTextTest, BadFilesAreRefusedWithTheirLineAndReason)
{
    // Lines of the written quad: its fan is written after its strip.
    enum { MAGIC = 0, SKINS = 1, PATTERN = 2, CHAINS = 4, CHAIN_VERTICES = 5, GROUPS = 6, VERTICES = 7, SETS = 8,
           REFS = 9, FRAMES = 11, POINTS = 12, STRIPS = 14, STRIP_K = 16, CORNER0 = 17, SET0 = 26, GROUP0 = 27,
           VERTEX0 = 28, FRAME0 = 32, OFFSET0 = 33, POINT0 = 35, LAST = 45 };
    const std::vector<std::string> good = lines_of(tools::model_text(quad_design()));
    ASSERT_EQ(good.size(), size_t{LAST + 1});
    ASSERT_EQ(good[CHAINS], "2");
    ASSERT_EQ(good[CHAIN_VERTICES], "8");
    ASSERT_EQ(good[SET0], "1 4 0");
    ASSERT_EQ(good[FRAME0], "0");
    struct Case {
        const char* why;
        int line;
        std::string text;
        const char* message;
    } cases[] = {
        {"another version", MAGIC, "textualModel,version003", "line 1: not a textual model"},
        {"a blank after the magic", MAGIC, "textualModel,version004 ", "not a textual model"},
        {"no skin", SKINS, "0", "line 2: skin count 0 out of range"},
        {"eleven skins", SKINS, "11", "skin count 11 out of range"},
        {"a skin count that is no number", SKINS, "one", "skin count missing"},
        {"an empty skin name", PATTERN, "", "skin name of 0 characters"},
        {"a skin name longer than a texture's", PATTERN, "ninechars", "skin name of 9 characters"},
        {"more chains in the header", CHAINS, "3", "2 triangle chains, the header says 3"},
        {"fewer chains in the header", CHAINS, "1", "more triangle chains than the header's 1"},
        {"a chain count beyond what the file can hold", CHAINS, "2000000000", "triangle chain count 2000000000 out"},
        {"a negative chain count", CHAINS, "-1", "triangle chain count -1 out"},
        {"more chain vertices in the header", CHAIN_VERTICES, "9", "8 triangle vertices, the header says 9"},
        {"fewer chain vertices in the header", CHAIN_VERTICES, "7", "more triangle vertices than the header's 7"},
        {"more vertices than the vertex array holds", VERTICES, "2049", "vertex count 2049 out of range"},
        {"more groups than an object has poses", GROUPS, "17", "group count 17 out of range (0 to 16)"},
        {"fewer sets than groups", SETS, "0", "set count (at least the groups) 0"},
        {"more group references in the header", REFS, "2", "1 group references, the header says 2"},
        {"fewer group references in the header", REFS, "0", "more group references than the header's 0"},
        {"a third frame the file lacks", FRAMES, "3", "line 47: the file ends early"},
        {"more frame points in the header", POINTS, "9", "8 frame points, the header says 9"},
        {"fewer frame points in the header", POINTS, "7", "more frame points than the header's 7"},
        {"more strips than the chains", STRIPS, "2", "more triangle chains than the header's 2"},
        {"a chain longer than the chain vertices", STRIP_K, "9", "more triangle vertices than the header's 8"},
        {"a triangle vertex past the vertices", CORNER0, "4 0 0", "line 18: triangle vertex index 4 out of range"},
        {"a negative triangle vertex", CORNER0, "-1 0 0", "triangle vertex index -1 out of range"},
        {"a texel coordinate that is no number", CORNER0, "0 nan 0", "s missing or not a finite number"},
        {"a corner without its t", CORNER0, "0 1", "t missing"},
        {"a number run into a word", CORNER0, "0 1x 2", "s missing"},
        {"a texel coordinate beyond 32 bits", CORNER0, "0 3e9 0", "texel coordinate beyond 32 bits"},
        {"a set emitting more than the vertices", SET0, "1 5 0", "the sets emit 5 vertices, the header says 4"},
        {"a set naming a group that is not there", SET0, "1 4 1", "referenced group 1 out of range"},
        {"the first group hanging on a vertex", GROUP0, "2 4", "pivot vertex 2 out of range (0 to 0)"},
        {"group points that are not its vertices'", GROUP0, "0 5", "point count (the points its vertices take) 5"},
        {"a vertex record of one number", VERTEX0, "0", "vertex point missing"},
        {"a frame of a group that is not there", FRAME0, "1", "frame group 1 out of range"},
        {"a frame of a negative group", FRAME0, "-1", "frame group -1 out of range"},
        {"an offset of two numbers", OFFSET0, "0 0", "offset missing"},
        {"an offset past the float range", OFFSET0, "0 0 1e39", "offset missing or not a finite number"},
        {"a normal past the table", POINT0, "0 0 0 162", "normal index 162 out of range (0 to 161)"},
        {"a coordinate wider than a byte", POINT0, "0 0 256 5", "z 256 out of range"},
        {"a point of three numbers", POINT0, "0 0 0", "normal index missing"},
        {"a line longer than a line may be", POINT0, "0 0 0 5" + std::string(1100, ' '), "line longer than"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::string> bad = good;
        bad[static_cast<size_t>(c.line)] = c.text;
        EXPECT_EQ(read(joined(bad)), nullptr);
        EXPECT_NE(why_.find(c.message), std::string::npos) << why_;
        EXPECT_TRUE(data_.vertex.empty() && data_.frame.empty()) << "a refused file leaves nothing behind";
    }
    for (size_t cut = 0; cut < good.size(); ++cut) {
        SCOPED_TRACE("cut after line " + std::to_string(cut));
        EXPECT_EQ(read(joined(std::vector<std::string>(good.begin(), good.begin() + static_cast<long>(cut)))),
                  nullptr);
    }
}

TEST_F(MeshTextTest, SharedVerticesAndPivotsFollowTheDrawingOrder)
{
    const tools::ModelDesign figure = tools::figure_model();
    // Shared set 3 averages groups {0, 2}; frames 0-2 are the body's, 3 the
    // head's, 4-5 the arm's, and a body frame's last point is the joint.
    const auto share_with = [](tools::ModelDesign& d, size_t members) {
        d.sets[3].members.assign(members, 0);
        d.groups[0].points = static_cast<uint32_t>(26 + members);
        d.groups[2].points = 24;
        for (size_t f = 0; f < 3; ++f) {
            d.frames[f].points.resize(26 + members, d.frames[f].points.back());
        }
        for (size_t f = 4; f < 6; ++f) {
            d.frames[f].points.pop_back();
        }
    };
    const struct {
        const char* why;
        std::function<void(tools::ModelDesign&)> change;
        const char* message; // null: loads
    } cases[] = {
        {"our figure as written", [](tools::ModelDesign&) {}, nullptr},
        {"a shared vertex of 63 groups", [&](tools::ModelDesign& d) { share_with(d, 63); }, nullptr},
        {"a shared vertex of 64 groups", [&](tools::ModelDesign& d) { share_with(d, 64); },
         "shared vertex group count 64 out of range (1 to 63)"},
        {"a shared vertex of no group", [&](tools::ModelDesign& d) { share_with(d, 0); },
         "shared vertex group count 0"},
        {"a head on a vertex of its own group", [](tools::ModelDesign& d) { d.groups[1].pivot = 30; },
         "pivot vertex 30 out of range (0 to 25)"},
        {"an arm on the shared vertex, emitted last", [](tools::ModelDesign& d) { d.groups[2].pivot = 74; },
         "pivot vertex 74 out of range (0 to 49)"},
        {"a head on the shoulder", [](tools::ModelDesign& d) { d.groups[1].pivot = tools::FIGURE_SHOULDER; },
         nullptr},
        {"a pivot whose record names the group itself", [](tools::ModelDesign& d) { d.vertices[24].group = 1; },
         "group 1 pivots on vertex 24 of group 1"},
        {"a pivot whose record names no group", [](tools::ModelDesign& d) { d.vertices[25].group = 9; },
         "group 2 pivots on vertex 25 of group 9"},
        {"a body point more than its vertices take",
         [](tools::ModelDesign& d) {
             d.groups[0].points += 1;
             for (size_t f = 0; f < 3; ++f) {
                 d.frames[f].points.push_back({});
             }
         },
         "point count (the points its vertices take) 28 out of range (27 to 27)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        tools::ModelDesign d = figure;
        c.change(d);
        const GLMeshData* got = read(tools::model_text(d));
        if (c.message == nullptr) {
            EXPECT_NE(got, nullptr) << why_;
        } else {
            EXPECT_EQ(got, nullptr);
            EXPECT_NE(why_.find(c.message), std::string::npos) << why_;
        }
    }
}

TEST_F(MeshTextTest, TheVertexArrayBoundsAModel)
{
    // One group of n vertices and one frame: 2048 fit the per-frame vertex array.
    for (const uint32_t n : {2048u, 2049u}) {
        SCOPED_TRACE(n);
        tools::ModelDesign d;
        d.skin_pattern = "bigs0";
        d.skins.push_back({32, 32, {{false, {{0, 0, 0}, {n - 1, 1, 0}, {n / 2, 0, 1}}}}});
        d.sets.push_back({{0}, n});
        d.groups.push_back({0, n});
        d.vertices.assign(n, {0, 0});
        d.frames.push_back({});
        d.frames[0].points.assign(n, {1, 2, 3, 4});
        const bool loads = read(tools::model_text(d)) != nullptr;
        EXPECT_EQ(loads, n <= 2048) << why_;
        if (!loads) {
            EXPECT_NE(why_.find("line 8: vertex count 2049 out of range (0 to 2048)"), std::string::npos) << why_;
        }
    }
}

TEST_F(MeshTextTest, PoseFramesMustBelongToTheirGroup)
{
    ASSERT_NE(read(tools::model_text(tools::figure_model())), nullptr) << why_;
    const struct {
        int32_t frame;
        int32_t group;
        bool belongs;
    } cases[] = {{0, 0, true}, {2, 0, true}, {3, 1, true}, {5, 2, true}, {3, 0, false},
                 {0, 2, false}, {-1, 0, false}, {6, 2, false}, {INT32_MAX, 0, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(mesh_frame_of_group(data_, c.frame, c.group), c.belongs) << c.frame << " of " << c.group;
    }
}

namespace {

// The demo's models written and mounted as the file system.
class MeshTextFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tools::write_demo_models(tree_.path()));
        ASSERT_EQ(files_.init(), 1);
        ASSERT_EQ(files_.mount(tree_.path().c_str(), 1, 10), 1);
        saved_ = fsys;
        fsys = &files_;
    }
    void TearDown() override
    {
        fsys = saved_;
        files_.close();
    }

    TempTree tree_;
    FSys files_;
    FSys* saved_ = nullptr;
};

} // namespace

TEST_F(MeshTextFileTest, TheDemoModelsLoadByTheirPathsAndRefusalsAreNamed)
{
    tree_.write("models/demo/bad.txt", std::string("textualModel,version004\n0\n"));
    PrintCapture capture;
    const struct {
        const char* resource;
        const char* name;
        int loads;
    } cases[] = {{"demo", "cube", 1},  {"demo", "figure", 1}, {"demo", "door", 1},  {"demo", "steps", 1},
                 {"", "walker", 1},    {"demo", "walker", 0}, {"", "cube", 0},      {"demo", "nothere", 0},
                 {"demo", "bad", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.resource) + ":" + c.name);
        GLMeshData data;
        EXPECT_EQ(load_mesh_text(data, c.resource, c.name), c.loads);
        EXPECT_EQ(data.vertex.empty(), c.loads == 0);
    }
    EXPECT_TRUE(capture.contains("Mesh: models/demo/bad.txt, line 2: skin count 0 out of range (1 to 10)"));
    EXPECT_EQ(capture.lines().size(), 1u) << "a missing file is the caller's to report";
}

// While the heap runs, a loaded model's data lies in cacheable blocks of the
// model: the data block and its arrays named "MeshData", the skins' records
// "SkinImage". The heap's drop takes them all, and the next touch reads the
// file again.
TEST_F(MeshTextFileTest, AModelsDataLivesInHeapBlocksOfTheModel)
{
    ConfigVariableList variables;
    ConfigVariableList* const saved_variables = cvar_list;
    cvar_list = &variables;
    KHeap heap;
    ASSERT_EQ(heap.init(1 << 20, KHEAP_CHECK), 1);
    KHeap* const saved_heap = kheap;
    kheap = &heap;
    const auto blocks_of = [&heap](const CacheOwner* owner) {
        std::multiset<std::string> names;
        for (MemoryBlock* m = heap.first_block(); m != nullptr; m = m->next) {
            if (!m->is_free() && m->owner == owner) {
                EXPECT_TRUE(m->is_cacheable()) << m->name;
                names.insert(m->name);
            }
        }
        return names;
    };
    void* const place = heap.alloc(sizeof(MeshModel), KHEAP_FROM_BOTTOM, "MeshModel");
    ASSERT_NE(place, nullptr);
    MeshModel* const model = new (place) MeshModel;
    ASSERT_EQ(model->set_name("demo", "figure"), 1);
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load == 0 ? "first load" : "after the drop");
        ASSERT_EQ(model->touch(), 1);
        ASSERT_NE(model->model, nullptr);
        const GLMeshData& d = *model->model;
        EXPECT_EQ(heap.object_block(&d)->owner, model);
        EXPECT_EQ(heap.object_block(d.frame_point.data())->owner, model);
        const size_t arrays = !d.vertex.empty() + !d.group.empty() + !d.group_ref.empty() + !d.set.empty() +
                              !d.frame.empty() + !d.frame_point.empty() + !d.triangle_vertex.empty() +
                              !d.triangle_chain.empty();
        const std::multiset<std::string> names = blocks_of(model);
        EXPECT_EQ(names.count("MeshData"), 1 + arrays);
        EXPECT_EQ(names.count("SkinImage"), 1u);
        EXPECT_EQ(names.size(), 2 + arrays);
        model->flush();
        EXPECT_EQ(model->model, nullptr);
        EXPECT_TRUE(blocks_of(model).empty());
    }
    EXPECT_EQ(heap.check(1), 1);
    model->~MeshModel();
    heap.free(place);
    kheap = saved_heap;
    heap.close();
    cvar_list = saved_variables;
}
