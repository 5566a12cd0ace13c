// Meta-models: what the reader makes of a ".tmm" written by the tmm tool,
// the registry of a map's models, and the files it refuses.
#include "server/meta_model.h"
#include "server_fixture.h"
#include "tools/tmm/tmm_writer.h"

#include <filesystem>

namespace {

class MetaModels : public ServerFixture {
protected:
    void put(const std::string& name, const tmm::Model& m) { tree.write("models/" + name + ".tmm", tmm::write_model(m)); }

    // Two cycles of 3 and 4 timed frames and 5 poses.
    static tmm::Model two_cycles()
    {
        tmm::Model m;
        m.tags = {{"gun", 7}, {"Head", -3}};
        m.second_count = 11;
        m.poses = 5;
        m.size = {10, 20, 30};
        m.collision_size = {12, 22, 40};
        m.radius = 50;
        m.hook = {1, 2, 3};
        m.flags = 1;
        m.comments = true;
        tmm::Cycle a;
        a.frames = {{12, 0.05}, {13, 0.1}, {14, 0.2}};
        a.distance = 32;
        a.divisor = 10;
        a.end_pose = 4;
        tmm::Cycle b;
        b.frames = {{1, 0.25}, {2, 0.25}, {3, 0.25}, {4, 0.5}};
        b.end_pose = 0;
        m.cycles = {a, b};
        return m;
    }
};

TEST_F(MetaModels, ReadsCyclesFramesPosesAndTags)
{
    put("runner", two_cycles());
    MetaModel m;
    ASSERT_TRUE(read_meta_model(m, "runner"));
    EXPECT_STREQ(m.name, "runner");
    EXPECT_EQ(m.frames, 7 + 2 + 10);
    EXPECT_EQ(m.cycles, 2);
    EXPECT_EQ(m.poses, 5);
    EXPECT_EQ(m.second_count, 11);
    EXPECT_EQ(m.flags, 1u);
    EXPECT_EQ(m.size.z, 30.0f);
    EXPECT_EQ(m.collision_size.z, 40.0f);
    EXPECT_EQ(m.hook.y, 2.0f);
    EXPECT_EQ(m.radius, 50.0f);
    // The first cycle: frame 12 for 0.5 / 10 s, and so on, then end pose 4.
    const MeshCycle& a = m.cycle[0];
    EXPECT_EQ(a.first_frame, 0);
    EXPECT_EQ(a.last_frame, 3);
    EXPECT_EQ(m.frame[0].frame, 12);
    EXPECT_FLOAT_EQ(m.frame[0].duration, 0.05f);
    EXPECT_FLOAT_EQ(a.duration, 0.35f);
    EXPECT_EQ(a.distance, 32.0f);
    EXPECT_EQ(m.frame[3].frame, 4);
    EXPECT_EQ(m.frame[3].duration, 0.0f);
    const MeshCycle& b = m.cycle[1];
    EXPECT_EQ(b.first_frame, 4);
    EXPECT_EQ(b.last_frame, 8);
    EXPECT_FLOAT_EQ(b.duration, 1.25f);
    // Pose j: frame j for 1.0, ending in pose j.
    for (int32_t j = 0; j < 5; ++j) {
        SCOPED_TRACE(j);
        const MeshCycle& p = m.cycle[m.pose_cycle(j)];
        EXPECT_EQ(p.last_frame, p.first_frame + 1);
        EXPECT_EQ(m.frame[p.first_frame].frame, j);
        EXPECT_EQ(m.frame[p.first_frame].duration, 1.0f);
        EXPECT_EQ(m.frame[p.last_frame].frame, j);
        EXPECT_EQ(p.duration, 1.0f);
        EXPECT_EQ(p.distance, 1.0f);
    }
    ASSERT_NE(m.find_tag("gun"), nullptr);
    EXPECT_EQ(*m.find_tag("gun"), 7);
    EXPECT_EQ(*m.find_tag("Head"), -3);
    EXPECT_EQ(m.find_tag("head"), nullptr) << "tag names are compared with case";
    EXPECT_EQ(m.find_tag("gu"), nullptr);
}

TEST_F(MetaModels, TheRegistryReadsEachModelOnceAndHoldsSixtyFour)
{
    SMeshManager models;
    ASSERT_EQ(models.start(MESH_MODEL_MAX), 1);
    put("runner", two_cycles());
    const MetaModel* const first = models.get("runner");
    ASSERT_NE(first, nullptr);
    std::filesystem::remove(std::filesystem::path(tree.path()) / "models" / "runner.tmm");
    EXPECT_EQ(models.get("RUNNER"), first) << "the name is compared without case, the file not read again";
    EXPECT_EQ(models.get("nothing"), nullptr);
    EXPECT_EQ(models.meshes, 1);
    for (int i = 1; i < MESH_MODEL_MAX; ++i) {
        put("m" + std::to_string(i), tmm::demo_walker());
        ASSERT_NE(models.get(("m" + std::to_string(i)).c_str()), nullptr) << i;
    }
    put("m64", tmm::demo_walker());
    EXPECT_EQ(models.get("m64"), nullptr) << "the 65th name";
    EXPECT_EQ(models.meshes, MESH_MODEL_MAX);
}

TEST_F(MetaModels, BadFilesAreRefused)
{
    struct Case {
        const char* name;
        std::string text;
        const char* message;
    };
    const tmm::Model good = two_cycles();
    const auto with = [&](auto change) {
        tmm::Model m = good;
        change(m);
        return tmm::write_model(m);
    };
    const std::string plain = tmm::write_model(good);
    const Case cases[] = {
        {"a tag name of 9 characters", with([](tmm::Model& m) { m.tags[0].name = "ninechars"; }),
         "a tag name is missing or longer than 8 characters"},
        {"more timed frames than the count", with([](tmm::Model& m) { m.frame_count = 6; }),
         "the cycles hold more frames than the frame count"},
        {"fewer timed frames than the count", with([](tmm::Model& m) { m.frame_count = 8; }),
         "the cycles hold fewer frames than the frame count"},
        {"a negative frame count", with([](tmm::Model& m) { m.frame_count = -1000; }), "the frame count"},
        {"a divisor of 0", with([](tmm::Model& m) { m.cycles[0].divisor = 0; }), "a time divisor of 0"},
        {"a duration of 0", with([](tmm::Model& m) { m.cycles[1].frames[2].duration = 0; }),
         "a frame duration is not above 0"},
        {"a negative duration", with([](tmm::Model& m) { m.cycles[0].frames[1].duration = -0.1; }),
         "a frame duration is not above 0"},
        {"an end pose beyond the poses", with([](tmm::Model& m) { m.cycles[0].end_pose = 5; }),
         "an end pose is not one of the model's poses"},
        {"a negative end pose", with([](tmm::Model& m) { m.cycles[0].end_pose = -1; }),
         "an end pose is not one of the model's poses"},
        {"frame 256", with([](tmm::Model& m) { m.cycles[1].frames[0].frame = 256; }),
         "a frame number is not in 0..255"},
        {"257 poses", with([](tmm::Model& m) { m.poses = 257; }), "the pose count 257 is not in 0..256"},
        {"a cycle without frames", with([](tmm::Model& m) {
             m.cycles[0].frames.clear();
         }),
         "a cycle needs at least one frame"},
        {"a frame line cut short", plain.substr(0, plain.rfind(" 0.5 ")) + "\n",
         "a frame line holds fewer pairs than its cycle says"},
        {"the file ends early", plain.substr(0, plain.rfind("4 0 1")), "the file ends early"},
        {"another magic", "textualMetaModel,version002\n" + plain.substr(plain.find('\n') + 1),
         "not a textual meta-model"},
        {"a size that is not a number", with([](tmm::Model& m) { m.size[1] = std::nan(""); }),
         "a size, radius, hook or flags line is bad"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        tree.write("models/bad.tmm", k.text);
        MetaModel m;
        EXPECT_FALSE(read_meta_model(m, "bad"));
        EXPECT_TRUE(capture.contains(k.message)) << k.message;
        EXPECT_TRUE(capture.contains("models/bad.tmm")) << "the message names the file";
        EXPECT_EQ(m.frames, 0);
        EXPECT_EQ(m.name[0], '\0');
    }
    // A name the field cannot hold is refused, not cut into another model's.
    const std::string long_name(SMESH_NAME_SIZE, 'm');
    put(long_name, good);
    MetaModel m;
    capture.clear();
    EXPECT_FALSE(read_meta_model(m, long_name.c_str()));
    EXPECT_TRUE(capture.contains("Server: Mesh name is too long ('" + long_name + "')!"));
    put(long_name.substr(1), good);
    EXPECT_TRUE(read_meta_model(m, long_name.substr(1).c_str())) << "31 characters fit";
}

} // namespace
