// Sprites (a name sent once with the create record) and BSP objects (one
// per model of the map but the world).
#include "class_fixture.h"
#include "server/object_id.h"
#include "world/shared_map.h"

namespace {

class Sprites : public ClassFixture {};

TEST_F(Sprites, TheNameGoesWithTheCreateRecordOnly)
{
    const int32_t a = create(OBJCLASS_SPRITE);
    ASSERT_EQ(set(a, PROPERTY_SPRITE_NAME, {text("twelve_chars")}), 1);
    sync();
    EXPECT_STREQ(server.sprites.sprite(object_index_of(static_cast<uint32_t>(a))).name, "twelve_ch");
    ASSERT_NE(view(a), nullptr);
    EXPECT_EQ(view(a)->name, "twelve_ch") << "its first 9 characters";
    const std::optional<UpdateRecord> ra = record(a);
    ASSERT_TRUE(ra);
    EXPECT_TRUE(ra->sprite.data);
    // Once the client has the name, another sprite of it names the block alone.
    const int32_t b = create(OBJCLASS_SPRITE);
    ASSERT_EQ(set(b, PROPERTY_SPRITE_NAME, {text("twelve_ch")}), 1);
    sync();
    const std::optional<UpdateRecord> rb = record(b);
    ASSERT_TRUE(rb);
    EXPECT_FALSE(rb->sprite.data);
    EXPECT_EQ(rb->sprite.index, ra->sprite.index);
    EXPECT_EQ(view(b)->name, "twelve_ch");
    // A name set later stays on the server.
    ASSERT_EQ(set(a, PROPERTY_SPRITE_NAME, {text("other")}), 1);
    sync();
    EXPECT_FALSE(record(a));
    EXPECT_EQ(view(a)->name, "twelve_ch");
    // The property looks the identifier up.
    server.mirror.destroy(b);
    sync();
    EXPECT_EQ(set(b, PROPERTY_SPRITE_NAME, {text("x")}), 0);
    EXPECT_EQ(set(a, PROPERTY_SPRITE_NAME + 1, {text("x")}), 0);
    EXPECT_TRUE(player.errors.empty()) << player.errors[0];
}

TEST_F(Sprites, BspObjectsStandForTheMapsModelsButTheWorld)
{
    SharedMap& map = *server.map;
    const int32_t models = map.models.count();
    ASSERT_GE(models, 1);
    SBspObjectManager m;
    ASSERT_EQ(m.start(&map, 1), 1);
    EXPECT_EQ(m.head, -1) << "the world alone makes no object";
    ASSERT_EQ(m.start(&map, models), 1);
    int32_t made = 0;
    for (int32_t i = m.head; i >= 0; i = m.common[i].next) {
        ++made;
        EXPECT_NE(i, 0);
        EXPECT_EQ(m.common[i].audience, AUDIENCE_EVERYONE);
        EXPECT_EQ(m.filter(i).radius, map.models.entity(i).radius);
    }
    EXPECT_EQ(made, models - 1);
    EXPECT_EQ(m.set_property(0, 1, 0x700, {}), 0);
    capture.clear();
    EXPECT_EQ(m.start(&map, models + 1), 0) << "a model the map does not have";
    EXPECT_TRUE(capture.contains("Server: BSP model " + std::to_string(models) + " is not in the map"));
}

} // namespace
