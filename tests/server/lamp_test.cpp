// Lamps, dynamic lights and lens flares: their properties with the limits
// and warnings, the lamp count of lightmap.bin, and their class parts as the
// client's decoder reads them.
#include "class_fixture.h"
#include "server/object_id.h"
#include "tools/fsys/chunk_writer.h"

namespace {

class Lamps : public ClassFixture {};

TEST_F(Lamps, PropertiesKeepTheirFieldsAndStampOnlyChanges)
{
    const int32_t id = create(OBJCLASS_DYNALAMP);
    const SLamp& l = server.dynamic_lamps.lamp(object_index_of(static_cast<uint32_t>(id)));
    EXPECT_EQ(l.intensity, 63);
    EXPECT_EQ(l.colour, 0x3F3F3Fu);
    struct Case {
        const char* name;
        int property;
        std::vector<SObjArg> args;
        int32_t intensity;
        uint32_t colour;
        int32_t effect;
        int32_t param0;
        bool stamps;      // the property's stamp moves
        const char* warning; // or null
    };
    const Case cases[] = {
        {"1.0 is full", PROPERTY_LAMP_VALUE, {real(1.0)}, 63, 0x3F3F3F, 0, 0, false, nullptr},
        {"0.999 truncates", PROPERTY_LAMP_VALUE, {real(0.999)}, 62, 0x3F3F3F, 0, 0, true, nullptr},
        {"below 0 is 0", PROPERTY_LAMP_VALUE, {real(-0.5)}, 0, 0x3F3F3F, 0, 0, true, nullptr},
        {"above 1 is full", PROPERTY_LAMP_VALUE, {real(2.0)}, 63, 0x3F3F3F, 0, 0, true, nullptr},
        {"white is the default colour", PROPERTY_LAMP_COLOR, {int_arg(0xFFFFFF)}, 63, 0x3F3F3F, 0, 0, false,
         nullptr},
        {"colour keeps 6 bits", PROPERTY_LAMP_COLOR, {int_arg(0x8040FF)}, 63, 0x20103F, 0, 0, true, nullptr},
        {"7.99 truncates to 255", PROPERTY_LAMP_EFFECT, {int_arg(3), real(7.99), real(0), real(0), real(0)}, 63,
         0x20103F, 3, 255, true, nullptr},
        {"the same effect again", PROPERTY_LAMP_EFFECT, {int_arg(3), real(7.99), real(0), real(0), real(0)}, 63,
         0x20103F, 3, 255, false, nullptr},
        {"8.0 is too big", PROPERTY_LAMP_EFFECT, {int_arg(3), real(8.0), real(1), real(0), real(0)}, 63, 0x20103F,
         3, 255, true, "Server: Lamp effect parameter is too big (8.00, max  8)"},
        {"effect 16 is out of range", PROPERTY_LAMP_EFFECT, {int_arg(16), real(1), real(0), real(0), real(0)}, 63,
         0x20103F, 0, 32, true, "Server: Lamp effect id (16) out of range"},
        {"a negative effect too", PROPERTY_LAMP_EFFECT, {int_arg(-1), real(-1), real(0), real(0), real(0)}, 63,
         0x20103F, 0, 0, true, "Server: Lamp effect id (-1) out of range"},
    };
    int32_t stamp[3] = {l.intensity_stamp, l.colour_stamp, l.effect_stamp};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        frame();
        ASSERT_EQ(set(id, k.property, k.args), 1);
        EXPECT_EQ(l.intensity, k.intensity);
        EXPECT_EQ(l.colour, k.colour);
        EXPECT_EQ(l.effect, k.effect);
        EXPECT_EQ(l.params[0], k.param0);
        const int which = k.property - PROPERTY_LAMP_VALUE;
        const int32_t now_stamp[3] = {l.intensity_stamp, l.colour_stamp, l.effect_stamp};
        EXPECT_EQ(now_stamp[which] != stamp[which], k.stamps);
        std::copy(std::begin(now_stamp), std::end(now_stamp), stamp);
        if (k.warning != nullptr) {
            EXPECT_TRUE(capture.contains(k.warning)) << k.warning;
        } else {
            EXPECT_EQ(capture.count("Server: Lamp"), 0);
        }
    }
    EXPECT_EQ(set(id, 0x103, {int_arg(0)}), 0) << "an unknown property";
    EXPECT_EQ(set(id, PROPERTY_LAMP_EFFECT, {int_arg(1)}), 0) << "missing arguments";
    server.mirror.destroy(id);
    sync();
    EXPECT_EQ(set(id, PROPERTY_LAMP_VALUE, {real(0.5)}), 0) << "a released lamp";
}

TEST_F(Lamps, ANewLampSendsItsColourAndLaterOnlyWhatChanged)
{
    const int32_t id = create(OBJCLASS_DYNALAMP);
    sync();
    std::optional<UpdateRecord> r = record(id);
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->create());
    EXPECT_FALSE(r->lamp.intensity) << "its intensity flag is 0";
    ASSERT_TRUE(r->lamp.colour);
    EXPECT_EQ(*r->lamp.colour, (std::array<uint32_t, 3>{63, 63, 63}));
    EXPECT_FALSE(r->lamp.effect);

    ASSERT_EQ(set(id, PROPERTY_LAMP_EFFECT, {int_arg(5), real(1.0), real(2.0), real(0.5), real(7.99)}), 1);
    ASSERT_EQ(set(id, PROPERTY_LAMP_VALUE, {real(0.5)}), 1);
    sync();
    r = record(id);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->create());
    EXPECT_EQ(r->lamp.intensity, 31u);
    EXPECT_FALSE(r->lamp.colour);
    ASSERT_TRUE(r->lamp.effect);
    EXPECT_EQ(*r->lamp.effect, (std::array<uint32_t, 5>{5, 32, 64, 16, 255}));
    sync();
    EXPECT_FALSE(record(id)) << "nothing changed";
}

TEST_F(Lamps, EveryMapLampIsMadeAtLoadForEveryClient)
{
    ASSERT_EQ(server.map_lamps.max_objects, 1);
    const uint32_t id = object_id(OBJCLASS_MAPLAMP, 0);
    EXPECT_EQ(server.mirror.id_at(OBJCLASS_MAPLAMP, 0), static_cast<int32_t>(id));
    ASSERT_NE(view(static_cast<int32_t>(id)), nullptr);
    EXPECT_EQ(server.dynamic_lamps.max_objects, DYNAMIC_LAMP_MAX);
}

TEST_F(Lamps, TheLampCountOfLightmapBin)
{
    const auto file = [](const char* form, uint32_t version, uint32_t map, uint32_t lamps, size_t words) {
        std::vector<uint8_t> head;
        const uint32_t w[9] = {version, map, 0, 0, 0, 0, lamps, 0, 0};
        for (size_t i = 0; i < words; ++i) {
            for (int b = 0; b < 4; ++b) {
                head.push_back(static_cast<uint8_t>(w[i] >> (8 * b)));
            }
        }
        tools::ChunkWriter c(form[0] == 'L' ? "LIMP" : "PMIL");
        c.add("POLX", std::vector<uint8_t>{1, 2, 3});
        c.add("HEAD", head);
        return c.bytes();
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t count;
    };
    const Case cases[] = {
        {"five lamps and the one more", file("LIMP", 1, 0x77, 5, 9), 6},
        {"no lamp", file("LIMP", 1, 0x77, 0, 9), 1},
        {"another form", file("PMIL", 1, 0x77, 5, 9), -1},
        {"another version", file("LIMP", 2, 0x77, 5, 9), -1},
        {"another map", file("LIMP", 1, 0x78, 5, 9), -1},
        {"a HEAD too short", file("LIMP", 1, 0x77, 5, 6), -1},
        {"the most identifiers tell apart", file("LIMP", 1, 0x77, 65535, 9), 65536},
        {"one lamp more", file("LIMP", 1, 0x77, 65536, 9), -1},
        {"a count that wraps", file("LIMP", 1, 0x77, 0xFFFFFFFFu, 9), -1},
        {"no HEAD", tools::ChunkWriter("LIMP").bytes(), -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        tree.write("maps/l/lightmap.bin", k.bytes);
        EXPECT_EQ(count_map_lamps("maps/l/lightmap.bin", 0x77), k.count);
    }
    EXPECT_TRUE(capture.contains("Server: Too many map lamps in maps/l/lightmap.bin (65537, max 65536)"));
    EXPECT_EQ(count_map_lamps("maps/none/lightmap.bin", 0x77), -1);
}

class Lights : public ClassFixture {};

TEST_F(Lights, IntensityFocusAndMaximum)
{
    const int32_t id = create(OBJCLASS_DYNLIGHT);
    const int32_t index = object_index_of(static_cast<uint32_t>(id));
    const SDynLight& l = server.dynamic_lights.light(index);
    const AudienceFilter& f = server.dynamic_lights.filter(index);
    EXPECT_EQ(f.radius, 256.0f);
    struct Case {
        const char* name;
        int property;
        double x;
        int32_t intensity;
        float focus;
        int32_t maximum;
        float radius;
        bool warns;
    };
    const Case cases[] = {
        {"16 x 16 is too bright", PROPERTY_LIGHT_INTENSITY, 16.0, 255, 0.0f, 31, 1024.0f, true},
        {"15.99 is not", PROPERTY_LIGHT_INTENSITY, 15.99, 255, 0.0f, 31, 1024.0f, false},
        {"the reach follows", PROPERTY_LIGHT_INTENSITY, 5.0, 80, 0.0f, 31, 500.0f, false},
        {"10.24 reaches the most", PROPERTY_LIGHT_INTENSITY, 10.24, 163, 0.0f, 31, 1024.0f, false},
        {"below 0", PROPERTY_LIGHT_INTENSITY, -1.0, 0, 0.0f, 31, -100.0f, false},
        {"focus as given", PROPERTY_LIGHT_FOCUS, 0.75, 0, 0.75f, 31, -100.0f, false},
        {"maximum in 1/31", PROPERTY_LIGHT_MAX, 0.5, 0, 0.75f, 15, -100.0f, false},
        {"maximum clamped", PROPERTY_LIGHT_MAX, 3.0, 0, 0.75f, 31, -100.0f, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        ASSERT_EQ(set(id, k.property, {real(k.x)}), 1);
        EXPECT_EQ(l.intensity, k.intensity);
        EXPECT_EQ(l.focus, k.focus);
        EXPECT_EQ(l.maximum, k.maximum);
        EXPECT_FLOAT_EQ(f.radius, k.radius);
        EXPECT_EQ(capture.contains("Server: Dynamic light is too bright"), k.warns);
    }
}

TEST_F(Lights, TheLampTravelsWithTheCreateRecordOnly)
{
    const int32_t lamp = create(OBJCLASS_DYNALAMP);
    const int32_t light = create(OBJCLASS_DYNLIGHT);
    ASSERT_EQ(set(light, PROPERTY_LIGHT_LAMP, {int_arg(lamp)}), 1);
    const int32_t alone = create(OBJCLASS_DYNLIGHT);
    ASSERT_EQ(set(alone, PROPERTY_LIGHT_INTENSITY, {real(2.0)}), 1);
    ASSERT_EQ(set(alone, PROPERTY_LIGHT_FOCUS, {real(0.25)}), 1);
    sync();
    std::optional<UpdateRecord> r = record(light);
    ASSERT_TRUE(r && r->light.lamp);
    EXPECT_FALSE(r->light.lamp->wide);
    EXPECT_EQ(r->light.lamp->index, static_cast<uint32_t>(object_index_of(static_cast<uint32_t>(lamp))));
    EXPECT_FALSE(r->light.lamp->map_lamp);
    EXPECT_FALSE(r->light.intensity);
    EXPECT_FALSE(r->light.focus);
    r = record(alone);
    ASSERT_TRUE(r && r->light.lamp);
    EXPECT_TRUE(r->light.lamp->wide) << "no lamp: the reference of -1";
    EXPECT_EQ(r->light.lamp->index, 65535u);
    EXPECT_EQ(r->light.lamp->count, 15u);
    EXPECT_FALSE(r->light.lamp->map_lamp);
    EXPECT_EQ(r->light.intensity, 32u);
    EXPECT_EQ(r->light.focus, 0.25f);
    EXPECT_EQ(r->light.maximum, 31u);

    // A later lamp is kept but not sent.
    const int32_t map_lamp = server.mirror.id_at(OBJCLASS_MAPLAMP, 0);
    ASSERT_EQ(set(light, PROPERTY_LIGHT_LAMP, {int_arg(map_lamp)}), 1);
    sync();
    EXPECT_FALSE(record(light));
    EXPECT_EQ(server.dynamic_lights.light(object_index_of(static_cast<uint32_t>(light))).lamp,
              static_cast<uint32_t>(map_lamp));
    // Anything but a lamp is refused.
    EXPECT_EQ(set(light, PROPERTY_LIGHT_LAMP, {int_arg(camera)}), 0);
    EXPECT_TRUE(capture.contains("is not a lamp"));
}

class Flares : public ClassFixture {};

TEST_F(Flares, PropertiesAndTheirLimits)
{
    const int32_t id = create(OBJCLASS_LENSFLARE);
    const SLensFlare& f = server.lens_flares.flare(object_index_of(static_cast<uint32_t>(id)));
    EXPECT_EQ(server.lens_flares.filter(object_index_of(static_cast<uint32_t>(id))).radius, 0.0f);
    struct Case {
        const char* name;
        int property;
        std::vector<SObjArg> args;
        int32_t intensity, limit, colour;
        FlareShape shape;
        const char* warning;
    };
    const FlareShape d = FLARE_SHAPE_DEFAULT;
    const Case cases[] = {
        {"intensity in 1/16", PROPERTY_LENSFLARE_INTENSITY, {real(2.5)}, 40, 2, 0xFFF, d, nullptr},
        {"intensity 4 is too big", PROPERTY_LENSFLARE_INTENSITY, {real(4.0)}, 63, 2, 0xFFF, d,
         "Server: Lens flare intensity is too big (4.00)"},
        {"limit 100 in units of 32", PROPERTY_LENSFLARE_LIMIT, {real(100.0)}, 63, 3, 0xFFF, d, nullptr},
        {"a negative limit", PROPERTY_LENSFLARE_LIMIT, {real(-40.0)}, 63, 0, 0xFFF, d, nullptr},
        {"a huge limit", PROPERTY_LENSFLARE_LIMIT, {real(1e6)}, 63, 255, 0xFFF, d, nullptr},
        {"colour of 4 bits a byte", PROPERTY_LENSFLARE_COLOR, {int_arg(0x00FF8040)}, 63, 255, 0xF84, d, nullptr},
        {"stars and streaks", PROPERTY_LENSFLARE_STAR, {real(0.5), real(2.0), int_arg(3), real(5.0), int_arg(-2)},
         63, 255, 0xF84, FlareShape{7, 16, 31, 3, 0, {15, 8, 0, 8, 0, 8}}, nullptr},
        {"too many long streaks", PROPERTY_LENSFLARE_STAR, {real(0.5), real(2.0), int_arg(16), real(5.0), int_arg(1)},
         63, 255, 0xF84, FlareShape{7, 16, 31, 15, 1, {15, 8, 0, 8, 0, 8}},
         "Server: Too many lens flare long streaks (16)"},
        {"too many short streaks", PROPERTY_LENSFLARE_STAR,
         {real(0.5), real(2.0), int_arg(1), real(5.0), int_arg(20)}, 63, 255, 0xF84,
         FlareShape{7, 16, 31, 1, 15, {15, 8, 0, 8, 0, 8}}, "Server: Too many lens flare short streaks (20)"},
        {"effects alternate 15 and 8", PROPERTY_LENSFLARE_EFFECTS,
         {real(0.5), real(0.5), real(2.0), real(9.0), real(-1.0), real(1.0)}, 63, 255, 0xF84,
         FlareShape{7, 16, 31, 1, 15, {7, 4, 15, 31, 0, 8}}, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        ASSERT_EQ(set(id, k.property, k.args), 1);
        EXPECT_EQ(f.intensity, k.intensity);
        EXPECT_EQ(f.limit, k.limit);
        EXPECT_EQ(f.colour, k.colour);
        EXPECT_TRUE(f.shape == k.shape);
        if (k.warning != nullptr) {
            EXPECT_TRUE(capture.contains(k.warning)) << k.warning;
        } else {
            EXPECT_EQ(capture.count("Server: "), 0);
        }
    }
    EXPECT_EQ(set(id, PROPERTY_LENSFLARE_LAMP, {int_arg(camera)}), 0) << "not a lamp";
    EXPECT_EQ(set(id, PROPERTY_LENSFLARE_LAMP, {int_arg(OBJID_UNUSED)}), 1);
}

TEST_F(Flares, PartsOnTheWire)
{
    const int32_t plain = create(OBJCLASS_LENSFLARE);
    const int32_t full = create(OBJCLASS_LENSFLARE);
    const uint32_t lamp = object_id(OBJCLASS_DYNALAMP, 300 | 0x50000);
    ASSERT_EQ(set(full, PROPERTY_LENSFLARE_LAMP, {int_arg(static_cast<int32_t>(lamp))}), 1);
    ASSERT_EQ(set(full, PROPERTY_LENSFLARE_LIMIT, {real(100.0)}), 1);
    ASSERT_EQ(set(full, PROPERTY_LENSFLARE_COLOR, {int_arg(0x00FF8040)}), 1);
    ASSERT_EQ(set(full, PROPERTY_LENSFLARE_STAR, {real(0.5), real(2.0), int_arg(3), real(1.0), int_arg(2)}), 1);
    ASSERT_EQ(set(full, PROPERTY_LENSFLARE_INTENSITY, {real(1.5)}), 1);
    sync();
    std::optional<UpdateRecord> r = record(plain);
    ASSERT_TRUE(r && r->create());
    EXPECT_FALSE(r->flare.intensity || r->flare.shape || r->flare.colour || r->flare.lamp)
        << "a default flare sends no class part";
    r = record(full);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->flare.intensity, 24u);
    EXPECT_EQ(r->flare.colour, 0xF84u);
    ASSERT_TRUE(r->flare.shape);
    EXPECT_EQ(*r->flare.shape, (std::array<uint32_t, 11>{7, 16, 3, 8, 2, 15, 8, 0, 8, 0, 8}));
    ASSERT_TRUE(r->flare.lamp);
    EXPECT_FALSE(r->flare.lamp->none);
    EXPECT_TRUE(r->flare.lamp->lamp.wide);
    EXPECT_EQ(r->flare.lamp->lamp.index, 300u);
    EXPECT_EQ(r->flare.lamp->lamp.count, 5u);
    EXPECT_FALSE(r->flare.lamp->lamp.map_lamp);
    EXPECT_EQ(r->flare.lamp->limit, 3u);

    ASSERT_EQ(set(full, PROPERTY_LENSFLARE_LAMP, {int_arg(OBJID_UNUSED)}), 1);
    sync();
    r = record(full);
    ASSERT_TRUE(r && r->flare.lamp);
    EXPECT_TRUE(r->flare.lamp->none);
    EXPECT_EQ(r->flare.lamp->limit, 3u);
    EXPECT_FALSE(r->flare.shape);
}

} // namespace
