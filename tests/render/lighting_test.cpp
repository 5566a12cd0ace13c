// Lighting: the saturating add, lights and lamps, the row lists, and each
// adder of light_surface against its closed form computed here in double.
#include "light_fixture.h"
#include "texture_fixture.h"
#include "world/bsp_tree.h"

#include <cmath>
#include <limits>

namespace {

class LightingTest : public TextureTest {
protected:
    void SetUp() override
    {
        TextureTest::SetUp();
        build_lighting_tables();
        std::fill(std::begin(surface_light_block), std::end(surface_light_block), 0xDEADBEEFu);
    }
};

int nint(double x) { return static_cast<int>(std::nearbyint(x)); }

// Each byte of a within `tolerance` of b's.
::testing::AssertionResult bytes_near(uint32_t a, uint32_t b, int tolerance)
{
    for (int j = 0; j < 4; ++j) {
        if (std::abs(light_byte(a, j) - light_byte(b, j)) > tolerance) {
            return ::testing::AssertionFailure() << std::hex << a << " vs " << b << " byte " << j;
        }
    }
    return ::testing::AssertionSuccess();
}

uint32_t pack_bytes(const int c[4])
{
    return static_cast<uint32_t>(c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24);
}

TEST(LightAdd, SaturatesEachChannelAlone)
{
    struct Case {
        const char* why;
        uint32_t a, b, sum;
    } cases[] = {
        {"plain sum", 0x01020304, 0x10203040, 0x11223344},
        {"120 + 20 stops at 127, neighbours untouched", 0x05787805, 0x00140000, 0x057F7805},
        {"every channel full", 0x7F7F7F7F, 0x7F7F7F7F, 0x7F7F7F7F},
        {"top channel full, no carry out", 0x7F000000, 0x01000001, 0x7F000001},
        {"exactly 127 is not cut", 0x003F0000, 0x00400000, 0x007F0000},
        {"zero adds nothing", 0x12345678 & 0x7F7F7F7F, 0, 0x12345678 & 0x7F7F7F7F},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(light_add(c.a, c.b), c.sum) << c.why;
        EXPECT_EQ(light_add(c.b, c.a), c.sum) << c.why;
    }
}

TEST(LightSourceRecord, RangeIntensityAndReset)
{
    LightSource light;
    EXPECT_EQ(light.entity_type(), ENTITY_TYPE_MAP_LIGHT);
    EXPECT_EQ(light.reach, 0.0f);
    EXPECT_TRUE(std::isinf(light.falloff));
    EXPECT_EQ(light.radius, 0.0f);
    EXPECT_EQ(light.colour, 0xFFFFFFu);
    EXPECT_EQ(light.lamp, nullptr);

    light.set_range(20.0f);
    EXPECT_EQ(light.radius, 1024.0f) << "link radius capped";
    EXPECT_EQ(light.reach, 2000.0f);
    EXPECT_FLOAT_EQ(light.falloff, 0.064f);
    EXPECT_EQ(light_radius(3.0f), 300.0f);

    struct Case {
        float x;
        int32_t intensity;
    } cases[] = {{1.5f, 128}, {0.5f, 64}, {1.0f, 128}, {0.0f, 0}, {-1.0f, -128}, {1e30f, 128}, {-1e30f, -128},
                   {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const Case& c : cases) {
        light.set_intensity(c.x);
        EXPECT_EQ(light.intensity, c.intensity) << c.x;
    }

    const uint8_t bgr[4] = {0, 8, 16, 24};
    const uint8_t rgb[4] = {16, 8, 0, 24};
    light.set_colour(0x00112233);
    EXPECT_EQ(light.map_colour(bgr), 0x00112233u);
    EXPECT_EQ(light.map_colour(rgb), 0x00332211u);
    EXPECT_EQ(light.pixel_colour, 0x00332211u);
}

TEST_F(LightingTest, LampClampsIntensityAndBuildsItsRampLazily)
{
    LampData lamp;
    EXPECT_EQ(lamp.intensity, 1.0f);
    EXPECT_EQ(lamp.ramp[255], 0x007F7F7Fu) << "half the white colour at full intensity";
    struct Case {
        float x, stored;
    } cases[] = {{0.5f, 0.5f}, {2.0f, 1.0f}, {-0.1f, 0.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f},
                 {-0.0f, 0.0f}, {1.0f, 1.0f}};
    for (const Case& c : cases) {
        lamp.set_intensity(c.x);
        EXPECT_EQ(lamp.intensity, c.stored) << c.x;
        EXPECT_EQ(lamp.ramp_valid, 0u);
    }
    const uint8_t rgb[4] = {16, 8, 0, 24};
    lamp.set_colour(0x00FF8010);
    lamp.set_intensity(0.7f);
    lamp.map_colour(rgb);
    const uint32_t before = lamp.ramp[100];
    lamp.build_ramp(77);
    EXPECT_EQ(lamp.clock, 77);
    EXPECT_NE(lamp.ramp[100], before);
    // Pixel bytes: blue 0x10 moves to byte 2, red 0xFF to byte 0.
    const int steps[4] = {nint(0xFF * 0.7f), nint(0x80 * 0.7f), nint(0x10 * 0.7f), 0};
    for (int i = 0; i < 256; ++i) {
        int c[4];
        for (int j = 0; j < 4; ++j) {
            c[j] = ((i + 1) * steps[j]) >> 9;
        }
        ASSERT_EQ(lamp.ramp[i], pack_bytes(c)) << i;
    }
    // A fresh ramp is not rebuilt; only the clock moves.
    lamp.ramp[3] = 0x01010101;
    lamp.build_ramp(78);
    EXPECT_EQ(lamp.clock, 78);
    EXPECT_EQ(lamp.ramp[3], 0x01010101u);

    lamp.set_focus(LAMP_WAVE, 0.8f, 4.0f, 2.0f, 1.5f);
    EXPECT_EQ(lamp.amplitude, 0.4f);
    EXPECT_EQ(lamp.frequency, 0.25f);
    lamp.set_focus(LAMP_WAVE, 0.8f, 0.0f, 2.0f, 1.5f);
    EXPECT_EQ(lamp.frequency, 0.0f) << "a scale that is not positive";
}

TEST_F(LightingTest, RowListsAreReadWithBoundsChecks)
{
    struct Case {
        const char* why;
        int32_t width, height;
        std::vector<uint8_t> bytes;
        int result;
    } cases[] = {
        {"two rows", 4, 2, {0x00, 0x00, 0, 4, 0x04, 0x01, 1, 3}, 1},
        {"33 wide", 33, 1, {0, 0, 0, 1}, 0},
        {"33 high", 1, 33, std::vector<uint8_t>(33 * 4, 1), 0},
        {"file ends inside a row", 4, 2, {0, 0, 0, 4, 0, 0}, 0},
        {"a run beyond the row", 4, 1, {0, 0, 2, 3}, 0},
        {"a run of nothing", 4, 1, {0, 0, 1, 0}, 0},
        {"no rows", 4, 0, {}, 0},
    };
    for (const Case& c : cases) {
        write("rows.bin", c.bytes);
        FileStream* stream = fsys->open("rows.bin", 1);
        ASSERT_NE(stream, nullptr);
        LightRows list;
        std::vector<LightRow> storage(64);
        EXPECT_EQ(read_light_rows(list, stream, c.width, c.height, storage.data(), 5.0f), c.result) << c.why;
        stream->close();
        if (c.result == 1) {
            EXPECT_EQ(list.rows[1].offset, 0x104);
            EXPECT_EQ(list.rows[1].first, 1);
            EXPECT_EQ(list.rows[1].length, 3);
            EXPECT_EQ(list.radius, 5.0f);
            EXPECT_EQ(light_rows_fit(list, 0x104 + 3), 1);
            EXPECT_EQ(light_rows_fit(list, 0x104 + 2), 0) << "samples past the data";
        }
    }
}

TEST_F(LightingTest, BaseSamplesAndPlainLamps)
{
    LitPolygon p(5, 3, 100);
    p.samples[7] = 255;
    light_surface(p.ref, 0);
    EXPECT_EQ(LitPolygon::block(0, 0), grey_weight_table[100]) << "grey ramp without colours";
    EXPECT_EQ(LitPolygon::block(2, 1), grey_weight_table[255]);

    std::vector<uint32_t> colours(256);
    for (int i = 0; i < 256; ++i) {
        colours[static_cast<size_t>(i)] = static_cast<uint32_t>(i / 2) * 0x00010203u & 0x7F7F7F7Fu;
    }
    p.polygon.colours = colours.data();
    LampData lamp;
    lamp.set_colour(0x00FFFFFF);
    lamp.set_intensity(1.0f);
    p.add_lamp(&lamp, 200);
    light_surface(p.ref, 5);
    EXPECT_EQ(lamp.clock, 5);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 5; ++c) {
            const uint32_t base = colours[p.samples[static_cast<size_t>(r * 5 + c)]];
            ASSERT_EQ(LitPolygon::block(c, r), light_add(base, lamp.ramp[200])) << c << "," << r;
        }
    }
    lamp.set_intensity(0.0f);
    light_surface(p.ref, 6);
    EXPECT_EQ(LitPolygon::block(1, 1), colours[100]) << "a lamp at intensity 0 adds nothing";
}

TEST_F(LightingTest, NoLightmapLeavesTheBlock)
{
    LitPolygon p(4, 4, 50);
    p.polygon.samples = nullptr;
    light_surface(p.ref, 0);
    EXPECT_EQ(LitPolygon::block(1, 1), 0xDEADBEEFu);
}

// The dynamic adders, checked texel by texel against the closed forms.
struct DynamicCase {
    const char* why;
    Vector at;
    float range;
    float intensity;
    float spot;
    Vector direction;
    bool lamp_light; // list B with a lamp, else list A without
};

uint32_t expected_dynamic(const DynamicCase& c, const LightSource& light, const LampData& lamp, Vector x)
{
    const double dx = c.at.x - x.x;
    const double dy = c.at.y - x.y;
    const double dz = c.at.z - x.z;
    const double dist = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double left = light.reach - dist;
    if (left < 0.0) {
        return 0;
    }
    const double nd = c.at.z;
    double s = 1.0;
    if (c.spot > 0.0f) {
        const double q = -(c.direction.x * dx + c.direction.y * dy + c.direction.z * dz);
        if (q < 0.0) {
            return 0;
        }
        s = (1.0 - c.spot) + c.spot * q / dist;
        if (s < 0.0) {
            return 0;
        }
    }
    const double falloff = 128.0 / light.reach;
    const double incidence = c.lamp_light ? 1.0 : nd / dist;
    int level = std::min(nint(falloff * s * incidence * left), static_cast<int>(light.intensity));
    level = std::max(level, 0);
    if (c.lamp_light) {
        return lamp.ramp[level];
    }
    int bytes[4];
    for (int j = 0; j < 4; ++j) {
        bytes[j] = static_cast<int>(((light.pixel_colour >> (8 * j)) & 0xFF) * static_cast<uint32_t>(level)) >> 8;
    }
    return pack_bytes(bytes);
}

TEST_F(LightingTest, DynamicLightsMatchTheirClosedForms)
{
    const DynamicCase cases[] = {
        {"omni above the middle", {72.0f, 40.0f, 30.0f}, 1.2f, 1.0f, 0.0f, {0, 0, 0}, false},
        {"omni, dim, far reach", {10.0f, 100.0f, 60.0f}, 3.0f, 0.4f, 0.0f, {0, 0, 0}, false},
        {"spot of factor 1 is the cosine", {72.0f, 40.0f, 50.0f}, 2.0f, 1.0f, 1.0f, {0.0f, 0.0f, -1.0f}, false},
        {"half spot, slanted", {20.0f, 20.0f, 40.0f}, 2.0f, 1.0f, 0.5f, {0.6f, 0.0f, -0.8f}, false},
        {"spot pointing away lights nothing", {72.0f, 40.0f, 50.0f}, 2.0f, 1.0f, 1.0f, {0.0f, 0.0f, 1.0f}, false},
        {"lamp light, omni", {72.0f, 40.0f, 30.0f}, 1.2f, 1.0f, 0.0f, {0, 0, 0}, true},
        {"lamp light, spot", {50.0f, 60.0f, 20.0f}, 1.5f, 0.7f, 1.0f, {0.0f, 0.0f, -1.0f}, true},
        {"lamp light in the plane still lights", {72.0f, 40.0f, 0.0f}, 1.0f, 1.0f, 0.0f, {0, 0, 0}, true},
    };
    const uint8_t rgb[4] = {16, 8, 0, 24};
    for (const DynamicCase& c : cases) {
        LitPolygon p(10, 6, 0);
        LampData lamp;
        lamp.set_colour(0x00C08040);
        lamp.set_intensity(0.9f);
        lamp.map_colour(rgb);
        LightSource light(c.lamp_light ? ENTITY_TYPE_LAMP_LIGHT : ENTITY_TYPE_MAP_LIGHT);
        light.set_range(c.range);
        light.set_intensity(c.intensity);
        light.set_kind(std::bit_cast<uint32_t>(c.spot));
        light.set_colour(0x00FF8020);
        light.map_colour(rgb);
        light.set_position(c.at, c.direction);
        if (c.lamp_light) {
            light.set_lamp(&lamp);
        }
        EntityLink link{&light, nullptr};
        (c.lamp_light ? p.ref.list_b : p.ref.list_a) = &link;
        light_surface(p.ref, 3);
        int lit = 0;
        for (int r = 0; r < 6; ++r) {
            for (int col = 0; col < 10; ++col) {
                const uint32_t want = expected_dynamic(c, light, lamp, LitPolygon::texel(col, r));
                ASSERT_TRUE(bytes_near(LitPolygon::block(col, r), want, 1)) << c.why << " at " << col << "," << r;
                lit += want != 0 ? 1 : 0;
            }
        }
        if (std::string(c.why).find("nothing") == std::string::npos) {
            EXPECT_GT(lit, 10) << c.why << ": the case must light something";
        }
    }
}

TEST_F(LightingTest, DynamicLightsAreRejectedByPlaneAndSphere)
{
    struct Case {
        const char* why;
        Vector at;
        float range;
        bool lamp_light;
        bool lights;
    } cases[] = {
        {"a hair behind the plane", {40.0f, 40.0f, -0.001f}, 2.0f, true, false},
        {"at +0.0 is in front", {40.0f, 40.0f, 0.0f}, 2.0f, true, true},
        {"reach 0", {40.0f, 40.0f, 10.0f}, 0.0f, true, false},
        // Reach 2000 would get there, but the link radius stops at 1024.
        {"beyond the link sphere", {40.0f, 40.0f, 1300.0f}, 20.0f, true, false},
        {"inside the link sphere", {40.0f, 40.0f, 900.0f}, 20.0f, true, true},
        {"map light in the plane: no incidence", {40.0f, 40.0f, 0.0f}, 2.0f, false, false},
    };
    for (const Case& c : cases) {
        LitPolygon p(8, 8, 0);
        LampData lamp;
        LightSource light;
        light.set_range(c.range);
        light.set_intensity(1.0f);
        light.set_position(c.at, Vector{0, 0, -1});
        light.set_lamp(c.lamp_light ? &lamp : nullptr);
        EntityLink link{&light, nullptr};
        (c.lamp_light ? p.ref.list_b : p.ref.list_a) = &link;
        light_surface(p.ref, 0);
        uint32_t sum = 0;
        for (int r = 0; r < 8; ++r) {
            for (int col = 0; col < 8; ++col) {
                sum |= LitPolygon::block(col, r);
            }
        }
        EXPECT_EQ(sum != 0, c.lights) << c.why;
    }
}

TEST_F(LightingTest, WaveLampsFollowTheirPhases)
{
    LitPolygon p(12, 7, 180);
    // Shift the lightmap so that the phases start away from 0.
    p.polygon.s0 = 48;
    p.polygon.t0 = -32;
    p.face.origin = Vector{5.0f, -7.0f, 0.0f};
    LampData lamp;
    lamp.set_colour(0x00FFFFFF);
    lamp.set_intensity(0.8f);
    lamp.set_focus(LAMP_WAVE, 0.9f, 0.5f, 0.3f, 1.7f);
    p.add_lamp(&lamp, 0);
    std::fill(p.samples.begin(), p.samples.end(), 0); // base: grey 0
    for (size_t i = 0; i < p.layers[0].size(); ++i) {
        p.layers[0][i] = static_cast<uint8_t>(40 + (i * 37) % 215);
    }
    const int32_t clock = 1234;
    light_surface(p.ref, clock);
    const double f = lamp.frequency;
    const double t = clock * static_cast<double>(lamp.speed);
    const auto sine = [](double angle) { return sine_table->sine_at(sine_table->index(static_cast<float>(angle))); };
    int exact = 0;
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 12; ++c) {
            const double x = 5.0 + 48 + 16.0 * c;
            const double y = -7.0 - 32 + 16.0 * r;
            const double a = f * (0.017 * x - 0.012 * y) + 0.017 * t;
            const double b = f * (-0.02 * x + 0.02 * y) + 0.012 * t;
            const double cc = f * 0.04 * (x + y);
            const double w = sine(sine(sine(a) * lamp.twist + b) * lamp.twist + cc);
            const int sample = p.layers[0][static_cast<size_t>(r * 12 + c)];
            const int level = std::clamp(nint(sample * (w * lamp.amplitude + 0.5)), 0, 255);
            const uint32_t got = LitPolygon::block(c, r);
            // The phases are stepped in float; one ramp step either way.
            const bool near = got == lamp.ramp[level] || (level > 0 && got == lamp.ramp[level - 1]) ||
                              (level < 255 && got == lamp.ramp[level + 1]);
            ASSERT_TRUE(near) << c << "," << r;
            exact += got == lamp.ramp[level] ? 1 : 0;
        }
    }
    EXPECT_GE(exact, 7 * 12 * 9 / 10);
}

TEST_F(LightingTest, OutOfRangeInputsAreClamped)
{
    LitPolygon p(6, 6, 0);
    LampData wild;
    wild.set_focus(LAMP_WAVE, 40.0f, 0.1f, 1.0f, 3.0f); // amplitude far beyond 0..1
    p.add_lamp(&wild, 255);
    LightSource negative;
    negative.set_range(2.0f);
    negative.set_intensity(-3.0f);
    negative.set_position(Vector{30, 30, 20}, Vector{0, 0, -1});
    LightSource huge;
    huge.set_range(2.0f);
    huge.set_intensity(1e9f);
    huge.set_position(Vector{30, 30, 20}, Vector{0, 0, -1});
    LampData lamp;
    huge.set_lamp(&lamp);
    EntityLink a{&negative, nullptr};
    EntityLink b{&huge, nullptr};
    p.ref.list_a = &a;
    p.ref.list_b = &b;
    light_surface(p.ref, 99);
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 6; ++c) {
            const uint32_t v = LitPolygon::block(c, r);
            EXPECT_EQ(v & 0x80808080u, 0u) << "bit 7 stays clear";
        }
    }
    // Only the wave lamp and the huge lamp light can add; the sum stays below the ramp's top twice.
    EXPECT_LE(light_byte(LitPolygon::block(2, 2), 0), 127);
}

TEST_F(LightingTest, ModelPolygonsAreLitWhereTheirObjectPutsThem)
{
    // The polygon's object is turned half a turn about z and moved by (100, 0, 0):
    // texel (c, r) lands at (100 - 16 c, -16 r, 0), and the normal still faces +z.
    LitPolygon p(4, 4, 0);
    p.transform.has_object = 1;
    float* m = p.transform.object.m;
    m[0] = -1.0f;
    m[5] = -1.0f;
    m[3] = 100.0f;
    LightSource light;
    light.set_range(1.0f);
    light.set_intensity(1.0f);
    light.set_position(Vector{100.0f - 48.0f, -48.0f, 8.0f}, Vector{0, 0, -1});
    LampData lamp;
    light.set_lamp(&lamp);
    EntityLink link{&light, nullptr};
    p.ref.list_b = &link;
    light_surface(p.ref, 0);
    EXPECT_GT(light_byte(LitPolygon::block(3, 3), 0), light_byte(LitPolygon::block(0, 0), 0))
        << "the texel under the light is the brightest";
    EXPECT_EQ(LitPolygon::block(3, 3), lamp.ramp[nint(1.28 * (100.0 - 8.0))]);
}

TEST_F(LightingTest, PaddingRepeatsTheEdgesForTheFilters)
{
    LitPolygon p(3, 2, 0);
    p.rows[1] = LightRow{3, 1, 1}; // row 1: only column 1
    p.samples = {10, 20, 30, 40};
    light_surface(p.ref, 0);
    EXPECT_EQ(LitPolygon::block(0, 1), grey_weight_table[40]) << "left of the run";
    EXPECT_EQ(LitPolygon::block(2, 1), grey_weight_table[40]) << "right of the run";
    EXPECT_EQ(LitPolygon::block(3, 0), grey_weight_table[30]) << "beyond the last column";
    EXPECT_EQ(LitPolygon::block(1, 2), grey_weight_table[40]) << "below the last row";
    EXPECT_EQ(LitPolygon::block(3, 2), grey_weight_table[40]);
    EXPECT_EQ(LitPolygon::block(4, 0), grey_weight_table[30]) << "two columns beyond the last";
    EXPECT_EQ(LitPolygon::block(4, 3), grey_weight_table[40]) << "two rows below the last";
    // Just left of column 0 and just above row 0 wrap to column 31 and row
    // 31, whose lower neighbours are the padding row.
    EXPECT_EQ(LitPolygon::block(31, 0), grey_weight_table[10]) << "left of the first column";
    EXPECT_EQ(LitPolygon::block(31, 1), grey_weight_table[40]);
    for (const int r : {31, 32}) {
        for (int c = 0; c < 5; ++c) {
            EXPECT_EQ(LitPolygon::block(c, r), LitPolygon::block(c, 0)) << "above the first row, " << c << ", " << r;
        }
        EXPECT_EQ(LitPolygon::block(31, r), grey_weight_table[10]) << r;
    }
    EXPECT_EQ(surface_light_block[LIGHT_BLOCK_PADDED - 1], grey_weight_table[10]) << "the padding row's extra entry";
    EXPECT_EQ(LitPolygon::block(5, 0), 0xDEADBEEFu) << "beyond the padding the block is left alone";
    EXPECT_EQ(LitPolygon::block(0, 4), 0xDEADBEEFu);
}

TEST_F(LightingTest, WideAndTallLightmapsPadWhereTheBlockHasRoom)
{
    // Columns 31 and rows 31 and 32 go to the lightmap's far side when it
    // reaches them: each sample gets the nearest lit texel there.
    // Samples grow along the row: column c of row r holds 2c + r. Without
    // room, column 31 holds the last column's texel (row 0: 2 (w - 1)) and
    // rows 31 and 32 the last row's (column 0: h - 1).
    struct Case {
        int w, h;
        bool room;
    };
    const Case cases[] = {{29, 29, true}, {30, 30, false}, {31, 31, false}, {32, 32, false}};
    for (const Case& c : cases) {
        LitPolygon p(c.w, c.h, 0);
        for (int r = 0; r < c.h; ++r) {
            for (int k = 0; k < c.w; ++k) {
                p.samples[static_cast<size_t>(r * c.w + k)] = static_cast<uint8_t>(2 * k + r);
            }
        }
        std::fill(std::begin(surface_light_block), std::end(surface_light_block), 0xDEADBEEFu);
        light_surface(p.ref, 0);
        const bool room = c.room;
        EXPECT_EQ(LitPolygon::block(31, 0), grey_weight_table[room ? 0 : 2 * (c.w - 1)]) << c.w;
        EXPECT_EQ(LitPolygon::block(0, 31), grey_weight_table[room ? 0 : c.h - 1]) << c.h;
        EXPECT_EQ(LitPolygon::block(0, 32), grey_weight_table[room ? 0 : c.h - 1]) << c.h;
        // The padding row's extra entry, right of its column 31.
        EXPECT_EQ(surface_light_block[LIGHT_BLOCK_PADDED - 1], LitPolygon::block(room ? 0 : 31, 32)) << c.w;
        EXPECT_EQ(LitPolygon::block(c.w - 1, c.h - 1), grey_weight_table[2 * (c.w - 1) + c.h - 1]) << c.w;
    }
}

} // namespace
