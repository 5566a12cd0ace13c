#include "world/view/texture_slot.h"
#include "texture_fixture.h"
#include "tools/fsys/chunk_writer.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using tools::ChunkWriter;

// Frames of the sequence "anim:seq" are textures of distinct widths, so the
// texture returned tells the frame.
class TextureSlotTest : public TextureTest {
protected:
    void SetUp() override
    {
        TextureTest::SetUp();
        for (int i = 0; i < 4; ++i) {
            write("textures/anim/f" + std::to_string(i) + ".cmt", tools::cmt_bytes(pattern_image(16 << i, 16, false, i)));
        }
    }
    void sequence(std::vector<float> seconds, int32_t loop)
    {
        std::vector<tools::SequenceFrame> frames;
        for (size_t i = 0; i < seconds.size(); ++i) {
            frames.push_back({"f" + std::to_string(i), seconds[i]});
        }
        write("textures/anim/seq.cmt", tools::mips_bytes(frames, loop));
        ASSERT_EQ(slot_.load("anim", "seq", TEXTURE_KIND_MAP, nullptr), 1);
    }
    // The frame shown at `time` for a user that starts at 0.
    int frame_at(float time)
    {
        TextureAnim anim{&slot_, 0, 0.0f};
        const Texture* t = slot_.frame_at(anim, time);
        return t == nullptr ? -1 : std::countr_zero(static_cast<uint32_t>(t->usize)) - 4;
    }
    void TearDown() override
    {
        slot_.release();
        TextureTest::TearDown();
    }
    TextureSlot slot_;
};

TEST_F(TextureSlotTest, LoopingSequenceShowsEachFrameForItsTime)
{
    sequence({0.5f, 0.5f, 0.5f}, 1);
    EXPECT_EQ(slot_.frame_count, 3);
    EXPECT_EQ(slot_.loop_start, 1);
    const struct {
        float time;
        int frame;
    } cases[] = {
        {0.0f, 0}, {0.49f, 0}, {0.5f, 1}, {1.0f, 2}, {1.49f, 2}, {1.6f, 1}, {2.1f, 2}, {2.6f, 1},
        // Many turns of the loop at once: (1000.2 - 0.5) mod 1.0 = 0.7, in frame 2.
        {1000.2f, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frame_at(c.time), c.frame) << c.time;
    }
    // A user stepping tick by tick sees what a fresh one sees at each time.
    TextureAnim stepping{&slot_, 0, 0.0f};
    for (int32_t tick = 0; tick <= 350; ++tick) {
        const Texture* t = slot_.get_frame(stepping, tick);
        ASSERT_NE(t, nullptr);
        const float time = static_cast<float>(tick) * TEXTURE_TICK_SECONDS;
        ASSERT_EQ(std::countr_zero(static_cast<uint32_t>(t->usize)) - 4, frame_at(time)) << tick;
    }
    EXPECT_EQ(errors(), 0);
}

TEST_F(TextureSlotTest, SequenceWithoutLoopStopsOnItsLastFrame)
{
    sequence({0.25f, 0.25f, 0.25f}, -1);
    EXPECT_EQ(frame_at(0.3f), 1);
    EXPECT_EQ(frame_at(0.8f), 2);
    TextureAnim anim{&slot_, 0, 0.0f};
    slot_.frame_at(anim, 100.0f);
    EXPECT_EQ(anim.last_frame, 2);
    slot_.frame_at(anim, 1.0e9f);
    EXPECT_EQ(anim.last_frame, 2);
}

TEST_F(TextureSlotTest, DurationsThatTakeNoTimeEndTheWalk)
{
    struct Case {
        const char* what;
        std::vector<float> seconds;
        int32_t loop;
        float time;
        int frame;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"all zero, looping", {0.0f, 0.0f, 0.0f}, 0, 5.0f, 2},
        {"zero loop after a shown frame", {1.0f, 0.0f, 0.0f}, 1, 5.0f, 2},
        {"negative as zero", {-1.0f, -0.5f}, 0, 3.0f, 1},
        {"NaN as zero", {nan, 0.5f}, 0, 0.7f, 1},
        {"zero frame inside a loop is skipped", {0.5f, 0.0f, 0.5f}, 0, 0.6f, 2},
        {"a frame shown for ever", {0.5f, inf, 0.5f}, 0, 1.0e6f, 1},
        {"tiny frames, long time", {0.001f, 0.001f}, 0, 1.0e7f, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sequence(c.seconds, c.loop);
        for (int32_t i = 0; i < slot_.frame_count; ++i) {
            EXPECT_GE(slot_.frames[i].duration, 0.0f);
        }
        const int frame = frame_at(c.time);
        if (c.frame >= 0) {
            EXPECT_EQ(frame, c.frame);
        } else {
            EXPECT_TRUE(frame == 0 || frame == 1);
        }
    }
}

TEST_F(TextureSlotTest, TimeGoingBackKeepsTheFrame)
{
    sequence({0.5f, 0.5f}, 0);
    TextureAnim anim{&slot_, 1, 2.0f};
    slot_.frame_at(anim, 1.0f);
    EXPECT_TRUE(capture_.contains("Sw: time (1.00) < last.time (2.00)"));
    EXPECT_EQ(anim.last_frame, 1);
    EXPECT_EQ(anim.last_time, 2.0f);
}

TEST_F(TextureSlotTest, FullLengthFrameNamesAreTerminated)
{
    write("textures/anim/abcdefgh.cmt", tools::cmt_bytes(pattern_image(128, 16, false)));
    write("textures/anim/seq.cmt", tools::mips_bytes({{"abcdefgh", 1.0f}, {"f1", 1.0f}}, 0));
    ASSERT_EQ(slot_.load("anim", "seq", TEXTURE_KIND_MAP, nullptr), 1);
    EXPECT_STREQ(slot_.frames[0].name, "abcdefgh");
    EXPECT_STREQ(slot_.frames[0].resource, "anim");
    EXPECT_EQ(frame_at(0.0f), 3);
    EXPECT_EQ(warnings() + errors(), 0);
}

TEST_F(TextureSlotTest, PlainTextureIsAOneFrameSlot)
{
    for (const char* name : {"f2", "absent"}) {
        ASSERT_EQ(slot_.load("anim", name, TEXTURE_KIND_MAP, nullptr), 1);
        EXPECT_EQ(slot_.frame_count, 1);
        EXPECT_EQ(slot_.loop_start, -1);
        EXPECT_STREQ(slot_.frames[0].name, name);
        EXPECT_EQ(slot_.frames[0].duration, 0.0f);
    }
    EXPECT_EQ(slot_.load("anim", "ninechars", TEXTURE_KIND_MAP, nullptr), 0);
    EXPECT_TRUE(capture_.contains("TextureSlot: Name too long 'anim:ninechars'"));
}

TEST_F(TextureSlotTest, BadSequencesFallBackToOneFrame)
{
    auto header = [](uint32_t frames, int32_t loop) {
        std::vector<uint8_t> h(8);
        std::memcpy(h.data(), &frames, 4);
        std::memcpy(h.data() + 4, &loop, 4);
        return h;
    };
    const auto two = tools::frame_list_data({{"f0", 1.0f}, {"f1", 1.0f}});
    struct Chunk {
        char id[5];
        std::vector<uint8_t> data;
    };
    struct Case {
        const char* what;
        std::vector<Chunk> chunks;
        const char* message;
    };
    const Case cases[] = {
        {"no frames", {{"SQHD", header(0, -1)}, {"FRAM", two}}, "TextureSlot(textures/anim/seq.cmt): Bad frame count 0 !"},
        {"negative frames", {{"SQHD", header(0xFFFFFFFFu, -1)}, {"FRAM", two}}, "Bad frame count -1 !"},
        {"too many frames", {{"SQHD", header(TEXTURE_MAX_FRAMES + 1, -1)}}, "Bad frame count 1025 !"},
        {"loop past the end", {{"SQHD", header(2, 2)}, {"FRAM", two}}, "Bad loop start 2 (2 frames) !"},
        {"second header", {{"SQHD", header(2, 0)}, {"FRAM", two}, {"SQHD", header(1, 0)}}, "Second SQHD !"},
        {"frames before header", {{"FRAM", two}, {"SQHD", header(2, 0)}}, "FRAM without SQHD !"},
        {"short frame list", {{"SQHD", header(3, 0)}, {"FRAM", two}}, "FRAM too short !"},
        {"short header", {{"SQHD", std::vector<uint8_t>(4, 1)}}, "SQHD too short !"},
        {"no frame list", {{"SQHD", header(2, 0)}}, "FRAM not found !"},
        // Frame names become paths: none may leave the resource's folder.
        {"frame name up a folder", {{"SQHD", header(2, 0)}, {"FRAM", tools::frame_list_data({{"f0", 1.0f}, {"../f1", 1.0f}})}},
         "Bad frame name '../f1' !"},
        {"frame name with a slash", {{"SQHD", header(1, 0)}, {"FRAM", tools::frame_list_data({{"x/f0", 1.0f}})}},
         "Bad frame name 'x/f0' !"},
        {"frame name with a backslash", {{"SQHD", header(1, 0)}, {"FRAM", tools::frame_list_data({{"x\\f0", 1.0f}})}},
         "Bad frame name 'x\\f0' !"},
        {"frame name of dots", {{"SQHD", header(1, 0)}, {"FRAM", tools::frame_list_data({{"..", 1.0f}})}},
         "Bad frame name '..' !"},
        {"empty frame name", {{"SQHD", header(1, 0)}, {"FRAM", tools::frame_list_data({{"", 1.0f}})}},
         "Bad frame name '' !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChunkWriter w("MIPS");
        for (const Chunk& chunk : c.chunks) {
            w.add(chunk.id, chunk.data);
        }
        write("textures/anim/seq.cmt", w.bytes());
        capture_.clear();
        ASSERT_EQ(slot_.load("anim", "seq", TEXTURE_KIND_MAP, nullptr), 1);
        EXPECT_TRUE(capture_.contains(c.message));
        EXPECT_EQ(slot_.frame_count, 1);
        EXPECT_EQ(slot_.loop_start, -1);
        EXPECT_STREQ(slot_.frames[0].name, "seq");
    }
}

} // namespace
