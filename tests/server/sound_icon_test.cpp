// Sound sources (pitch, attenuation, admission by distance) and icons
// (biased rectangles, clip, a name through the cache).
#include "class_fixture.h"
#include "server/object_id.h"

namespace {

class SoundSources : public ClassFixture {
protected:
    const SSoundSource& of(int32_t id) const
    {
        return server.sound_sources.source(object_index_of(static_cast<uint32_t>(id)));
    }
    // A source whose far level is 0 at a distance from the camera along x.
    int32_t quiet_at(float distance)
    {
        const int32_t id = create(OBJCLASS_SOUND);
        EXPECT_EQ(set(id, PROPERTY_SOUND_NAME, {text("hum")}), 1);
        server.mirror.set_position(id, Vector{128.0f + distance, 128.0f, 64.0f});
        return id;
    }
};

TEST_F(SoundSources, PitchAndAttenuation)
{
    const int32_t id = create(OBJCLASS_SOUND);
    const SSoundSource& s = of(id);
    EXPECT_EQ(s.pitch, 64);
    struct Case {
        const char* name;
        int property;
        std::vector<SObjArg> args;
        int32_t pitch, near_distance, near_level, far_distance, far_level;
    };
    const Case cases[] = {
        {"double pitch", PROPERTY_SOUND_FREQUENCY, {real(2.0)}, 128, 2, 63, 8, 0},
        {"pitch clamped", PROPERTY_SOUND_FREQUENCY, {real(5.0)}, 255, 2, 63, 8, 0},
        {"distances in 8 and 256", PROPERTY_SOUND_ATTENUATION, {real(20), real(0.5), real(300), real(0.1)}, 255, 2,
         31, 1, 6},
        {"clamped and below 0", PROPERTY_SOUND_ATTENUATION, {real(1e6), real(2.0), real(-5), real(-1)}, 255, 63, 63,
         0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_EQ(set(id, k.property, k.args), 1);
        EXPECT_EQ(s.pitch, k.pitch);
        EXPECT_EQ(s.near_distance, k.near_distance);
        EXPECT_EQ(s.near_level, k.near_level);
        EXPECT_EQ(s.far_distance, k.far_distance);
        EXPECT_EQ(s.far_level, k.far_level);
    }
    const int32_t level_stamp = s.level_stamp;
    frame();
    ASSERT_EQ(set(id, PROPERTY_SOUND_ATTENUATION, {real(8), real(1.0), real(256), real(0)}), 1);
    EXPECT_EQ(s.level_stamp, level_stamp) << "levels unchanged";
    EXPECT_GT(s.distance_stamp, level_stamp);
}

TEST_F(SoundSources, AQuietSourceIsSentWithinItsFarDistanceOnly)
{
    const int32_t near = quiet_at(2047.0f);
    const int32_t far = quiet_at(2048.0f);
    const int32_t loud = quiet_at(5000.0f);
    ASSERT_EQ(set(loud, PROPERTY_SOUND_ATTENUATION, {real(16), real(1.0), real(2048), real(0.5)}), 1);
    sync();
    EXPECT_NE(view(near), nullptr);
    EXPECT_EQ(view(far), nullptr);
    EXPECT_NE(view(loud), nullptr) << "a source heard everywhere";
    // The create record: the name through the cache, the mode bit, the parts.
    const std::optional<UpdateRecord> r = record(loud);
    ASSERT_TRUE(r && r->sound.name);
    EXPECT_EQ(view(loud)->name, "hum");
    EXPECT_FALSE(r->sound.pitch);
    EXPECT_FALSE(r->sound.distance) << "16 and 2048 are the default distances";
    EXPECT_EQ(r->sound.level, (std::array<uint32_t, 2>{63, 31}));
    EXPECT_EQ(view(near)->name, "hum");
    // Coming nearer brings the far one in.
    server.mirror.set_position(far, Vector{128.0f + 1000.0f, 128.0f, 64.0f});
    sync();
    EXPECT_NE(view(far), nullptr);
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
}

TEST_F(SoundSources, NameAndModeGoWithTheCreateRecord)
{
    const int32_t id = create(OBJCLASS_SOUND);
    const std::string long_name(40, 's');
    ASSERT_EQ(set(id, PROPERTY_SOUND_NAME, {text(long_name.c_str())}), 1);
    ASSERT_EQ(set(id, PROPERTY_SOUND_MODE, {int_arg(3)}), 1);
    ASSERT_EQ(set(id, PROPERTY_SOUND_FREQUENCY, {real(0.5)}), 1);
    sync();
    std::optional<UpdateRecord> r = record(id);
    ASSERT_TRUE(r && r->sound.name);
    EXPECT_EQ(r->sound.name->text, long_name.substr(0, 31));
    EXPECT_EQ(r->sound.mode, 1u);
    EXPECT_EQ(r->sound.pitch, 32u);
    ASSERT_EQ(set(id, PROPERTY_SOUND_FREQUENCY, {real(0.25)}), 1);
    sync();
    r = record(id);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->sound.name);
    EXPECT_EQ(r->sound.pitch, 16u);
    EXPECT_FALSE(r->sound.distance);
}

class Icons : public ClassFixture {};

TEST_F(Icons, RectanglesAreBiasedAndClamped)
{
    const int32_t id = create(OBJCLASS_ICON);
    const SIcon& c = server.icons.icon(object_index_of(static_cast<uint32_t>(id)));
    struct Case {
        const char* name;
        int32_t x1, y1, x2, y2;
        std::array<int32_t, 4> stored;
    };
    const Case cases[] = {
        {"the lowest x", -19968, -23168, 0, 0, {0, 0, 0x4E00, 0x5A80}},
        {"the highest x", 45567, 42367, 45568, 42368, {65535, 65535, 65535, 65535}},
        {"far beyond", INT32_MIN, INT32_MAX, -100000, 100, {0, 65535, 0, 0x5A80 + 100}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_EQ(set(id, PROPERTY_ICON_RECTANGLE, {int_arg(k.x1), int_arg(k.y1), int_arg(k.x2), int_arg(k.y2)}), 1);
        EXPECT_EQ((std::array<int32_t, 4>{c.rect[0], c.rect[1], c.rect[2], c.rect[3]}), k.stored);
    }
    EXPECT_EQ(c.clip, ICON_CLIP_DEFAULT);
    ASSERT_EQ(set(id, PROPERTY_ICON_CLIP, {int_arg(-20000)}), 1);
    EXPECT_EQ(c.clip, 0);
    EXPECT_EQ(set(id, PROPERTY_ICON_RECTANGLE, {int_arg(1)}), 0) << "missing arguments";
}

TEST_F(Icons, TheNameTravelsWhenItChanges)
{
    const int32_t id = create(OBJCLASS_ICON);
    ASSERT_EQ(set(id, PROPERTY_ICON_RECTANGLE, {int_arg(0), int_arg(0), int_arg(64), int_arg(32)}), 1);
    ASSERT_EQ(set(id, PROPERTY_ICON_NAME, {text("crosshair_big")}), 1);
    sync();
    std::optional<UpdateRecord> r = record(id);
    ASSERT_TRUE(r && r->icon.rect && r->icon.name);
    EXPECT_EQ(*r->icon.rect, (std::array<uint32_t, 4>{0x4E00, 0x5A80, 0x4E00 + 64, 0x5A80 + 32}));
    EXPECT_EQ(view(id)->name, "crosshair");
    EXPECT_FALSE(r->icon.clip);
    // The same name again changes nothing and sends nothing.
    ASSERT_EQ(set(id, PROPERTY_ICON_NAME, {text("crosshair")}), 1);
    sync();
    EXPECT_FALSE(record(id));
    ASSERT_EQ(set(id, PROPERTY_ICON_NAME, {text("health")}), 1);
    ASSERT_EQ(set(id, PROPERTY_ICON_CLIP, {int_arg(100)}), 1);
    sync();
    r = record(id);
    ASSERT_TRUE(r && r->icon.name);
    EXPECT_FALSE(r->icon.rect);
    EXPECT_EQ(r->icon.clip, static_cast<uint32_t>(0x4E00 + 100));
    EXPECT_EQ(view(id)->name, "health");
    // A new icon without a name sends the empty one.
    const int32_t bare = create(OBJCLASS_ICON);
    sync();
    ASSERT_NE(view(bare), nullptr);
    EXPECT_EQ(view(bare)->name, "");
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
}

} // namespace
