// Angle, sine, random, clock and direction builtins called from scripts.
#include "builtin_fixture.h"

#include "core/random_table.h"

#include <cmath>
#include <numbers>

namespace {

constexpr float PI = std::numbers::pi_v<float>;
constexpr float TURN = 2.0f * PI;

class MathBuiltins : public BuiltinScripts {
protected:
    void SetUp() override
    {
        BuiltinScripts::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_world(forwarding_program({
                                                {"normalize", "normalize_angle", 1},
                                                {"sine", "Sin", 1},
                                                {"cosine", "Cos", 1},
                                                {"rnd", "random", 0},
                                                {"rnd_vector", "random_vector", 0},
                                                {"time_now", "time", 0},
                                                {"tick_count", "ticks", 0},
                                                {"forward", "forward_vector", 3},
                                                {"right", "right_vector", 3},
                                                {"up", "up_vector", 3},
                                                {"rotate", "rotate", 6},
                                                {"heading", "heading_angle", 3},
                                                {"pitch", "pitch_angle", 3},
                                            })
                                                .c_str()));
    }

    static std::vector<uint32_t> cells(std::initializer_list<float> values)
    {
        std::vector<uint32_t> out;
        for (const float v : values) {
            out.push_back(cell(v));
        }
        return out;
    }
    static std::vector<uint32_t> cells(const Vector& v, const Vector& angles)
    {
        return cells({v.x, v.y, v.z, angles.x, angles.y, angles.z});
    }
};

void expect_near(const Vector& got, const Vector& want, float tolerance, const std::string& what)
{
    EXPECT_NEAR(got.x, want.x, tolerance) << what;
    EXPECT_NEAR(got.y, want.y, tolerance) << what;
    EXPECT_NEAR(got.z, want.z, tolerance) << what;
}

TEST_F(MathBuiltins, NormalizeAngleWrapsIntoOneTurnAndNeverLoops)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float in;
        float want; // NaN: NaN wanted
    };
    const Case cases[] = {
        {-0.5f, TURN - 0.5f},
        {TURN, 0.0f},       // the float turn lies above the bound
        {-1e-9f, TURN},     // the bound is not applied after adding
        {6.28318f, 6.28318f},
        {0.0f, 0.0f},
        {3.0f, 3.0f},
        {7.0f, 7.0f - TURN},
        {-20.0f, ((-20.0f + TURN) + TURN) + TURN + TURN},
        {100.0f * TURN + 1.0f, std::nanf("")}, // checked for range below
        {1e30f, std::nanf("")},
        {-1e30f, std::nanf("")},
        {inf, nan},
        {-inf, nan},
        {nan, nan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        const float got = call_float("normalize", {cell(c.in)});
        if (std::isnan(c.want) && std::isfinite(c.in)) {
            EXPECT_GE(got, 0.0f);
            EXPECT_LE(got, TURN);
        } else if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(got));
        } else {
            EXPECT_EQ(got, c.want);
        }
    }
    EXPECT_NEAR(call_float("normalize", {cell(100.0f * TURN + 1.0f)}), 1.0f, 1e-3f);
}

TEST_F(MathBuiltins, SineAndCosineReadTheTableRoundingTiesToEven)
{
    const float s = sine_table->scale;
    // Angles whose index product is exactly k + 0.5 in float.
    const auto half_step = [&](float k) {
        float a = (k + 0.5f) / s;
        for (int i = 0; i < 8 && a * s != k + 0.5f; ++i) {
            a = std::nextafter(a, a * s < k + 0.5f ? 10.0f : -10.0f);
        }
        EXPECT_EQ(a * s, k + 0.5f);
        return a;
    };
    const float* const t = sine_table->values;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float angle;
        float sine;
        float cosine;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 1.0f},
        {PI / 2, 1.0f, 0.0f},
        {-PI / 2, -1.0f, t[2048]},
        {PI, t[2048], -1.0f},
        {half_step(0.0f), t[0], t[1024]},   // 0.5 goes to 0
        {half_step(1.0f), t[2], t[1022]},   // 1.5 goes to 2
        {half_step(2.0f), t[2], t[1022]},   // 2.5 goes to 2
        {TURN * 3, t[(static_cast<int>(std::nearbyint(TURN * 3 * s))) & 4095], 1.0f},
        {nan, 0.0f, 1.0f},
        {std::numeric_limits<float>::infinity(), 0.0f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        EXPECT_EQ(call_float("sine", {cell(c.angle)}), c.sine);
        EXPECT_EQ(call_float("cosine", {cell(c.angle)}), c.cosine);
    }
}

TEST_F(MathBuiltins, HeadingAndPitchAngles)
{
    struct Case {
        Vector v;
        float heading;
        float pitch;
    };
    const Case cases[] = {
        {{0, 1, 0}, 0.0f, 0.0f},
        {{-1, 0, 0}, PI / 2, 0.0f},
        {{1, 0, 0}, 3 * PI / 2, 0.0f},
        {{0, -1, 0}, PI, 0.0f},
        {{0, 0, 5}, 0.0f, PI / 2},
        {{0, 0, -2}, 0.0f, -PI / 2},
        {{0, 0, 0}, 0.0f, 0.0f},
        {{-1, 1, std::sqrt(2.0f)}, PI / 4, PI / 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v.x << "," << c.v.y << "," << c.v.z);
        EXPECT_NEAR(call_float("heading", cells({c.v.x, c.v.y, c.v.z})), c.heading, 1e-6f);
        EXPECT_NEAR(call_float("pitch", cells({c.v.x, c.v.y, c.v.z})), c.pitch, 1e-6f);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isnan(call_float("heading", cells({nan, 0, 0}))));
    EXPECT_TRUE(std::isnan(call_float("pitch", cells({0, 0, nan}))));
}

TEST_F(MathBuiltins, DirectionVectorsAreTheColumnsOfTheAngleRotation)
{
    struct Case {
        Vector angles;
        Vector forward;
        Vector right;
        Vector up;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{PI / 2, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, PI / 2, 0}, {0, 0, 1}, {1, 0, 0}, {0, -1, 0}},
        {{0, 0, PI / 2}, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.angles.x << "," << c.angles.y << "," << c.angles.z);
        const std::vector<uint32_t> a = cells({c.angles.x, c.angles.y, c.angles.z});
        expect_near(call_vector("forward", a), c.forward, 1e-6f, "forward");
        expect_near(call_vector("right", a), c.right, 1e-6f, "right");
        expect_near(call_vector("up", a), c.up, 1e-6f, "up");
        // The rotation takes the axes to the same columns: the vector comes first.
        expect_near(call_vector("rotate", cells({0, 1, 0}, c.angles)), c.forward, 1e-6f, "rotate y");
        expect_near(call_vector("rotate", cells({1, 0, 0}, c.angles)), c.right, 1e-6f, "rotate x");
        expect_near(call_vector("rotate", cells({0, 0, 1}, c.angles)), c.up, 1e-6f, "rotate z");
    }
    expect_near(call_vector("rotate", cells({1, 2, 3}, {0, 0, 0})), {1, 2, 3}, 0.0f, "identity");
}

TEST_F(MathBuiltins, HeadingAndPitchOfTheForwardVectorGiveTheAnglesBack)
{
    const float angles[][2] = {{0.3f, 0.2f}, {2.0f, -0.7f}, {4.0f, 1.2f}, {5.9f, -1.4f}};
    for (const auto& [h, p] : angles) {
        SCOPED_TRACE(testing::Message() << h << "," << p);
        const Vector f = call_vector("forward", cells({h, p, 0.5f}));
        // The table steps 2 pi / 4096 apart.
        EXPECT_NEAR(call_float("heading", cells({f.x, f.y, f.z})), h, 2e-3f);
        EXPECT_NEAR(call_float("pitch", cells({f.x, f.y, f.z})), p, 2e-3f);
    }
}

TEST_F(MathBuiltins, RandomNumbersComeFromTheSharedTableInTurn)
{
    RandomTable table;
    ASSERT_EQ(table.init(4), 1);
    RandomTable* const saved = random_table;
    random_table = &table;
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(call_float("rnd"), table.floats[k % 4]) << k;
    }
    for (int k = 0; k < 5; ++k) {
        const Vector v = call_vector("rnd_vector");
        EXPECT_EQ(v.x, table.vectors[k % 4].x) << k;
        EXPECT_EQ(v.y, table.vectors[k % 4].y) << k;
        EXPECT_EQ(v.z, table.vectors[k % 4].z) << k;
    }
    random_table = nullptr;
    EXPECT_EQ(call_float("rnd"), 0.0f) << "no table, no trap";
    random_table = saved;
}

TEST_F(MathBuiltins, TimeAndTicksReadTheWorldClock)
{
    server.time_world = 12.25;
    server.tick = 99;
    EXPECT_EQ(call_float("time_now"), 12.25f);
    EXPECT_EQ(call("tick_count")[0], 99u);
    server.time_world = 1.0 / 3.0;
    EXPECT_EQ(call_float("time_now"), static_cast<float>(1.0 / 3.0));
}

} // namespace
