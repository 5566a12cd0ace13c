// The bump texture: its own generator, the round bumps, the lit images and
// their averaged levels, against values worked out by hand from the rules.
#include "core/sine_table.h"
#include "gl/gl_bump_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

namespace {

constexpr float ROOT_HALF = 0.70710677f; // sqrt(2 (0.5 - 0.25))

std::unique_ptr<BumpField> empty_field() { return std::make_unique<BumpField>(); }

uint8_t texel(const BumpImages& images, int level, int32_t row, int32_t column)
{
    const int32_t side = BUMP_SIZE >> level;
    return images.bump_image[level][static_cast<size_t>((row * side + column) * 4)];
}

} // namespace

TEST(BumpRandomTest, DrawsTheSequenceOfItsFormulaFromOne)
{
    // x = x * 1103515245 + 12345 from 1, bits 16-30: worked out by hand.
    BumpRandom random;
    for (const int32_t expected : {16838, 5758, 10113, 17515, 31051, 5627, 23010, 7419}) {
        EXPECT_EQ(random.next(), expected);
    }
    BumpRandom wrapped;
    wrapped.state = 0xFFFFFFFFu; // -1103515245 + 12345 wraps to 0xBE39E1CC
    EXPECT_EQ(wrapped.next(), 0x3E39); // bit 31 dropped
}

TEST(BumpFieldTest, BumpsCoverTheCellsInsideHalfTheirUnitCircle)
{
    const struct {
        const char* why;
        int32_t radius;
        // {dy, dx, height / amplitude}; every other cell stays 0
        std::vector<std::array<float, 3>> cells;
    } cases[] = {
        {"radius 0 adds nothing", 0, {}},
        {"radius 1: only the centre is inside", 1, {{0, 0, 1.0f}}},
        {"radius 2: a plus, the diagonals lie on the circle", 2,
         {{0, 0, 1.0f}, {-1, 0, ROOT_HALF}, {1, 0, ROOT_HALF}, {0, -1, ROOT_HALF}, {0, 1, ROOT_HALF}}},
        {"radius 3: thirds", 3,
         {{0, 0, 1.0f}, {0, 1, 0.8819171f}, {0, -1, 0.8819171f}, {1, 0, 0.8819171f}, {-1, 0, 0.8819171f},
          {1, 1, 0.7453560f}, {1, -1, 0.7453560f}, {-1, 1, 0.7453560f}, {-1, -1, 0.7453560f},
          {0, 2, 1.0f / 3.0f}, {0, -2, 1.0f / 3.0f}, {2, 0, 1.0f / 3.0f}, {-2, 0, 1.0f / 3.0f}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        for (const auto& [row, column] : {std::pair{20, 30}, std::pair{0, 63}}) {
            auto field = empty_field();
            field->add_bump(row, column, c.radius, -0.125f);
            float expected[BUMP_SIZE][BUMP_SIZE] = {};
            for (const auto& cell : c.cells) {
                const int32_t r = (row + static_cast<int32_t>(cell[0]) + BUMP_SIZE) % BUMP_SIZE;
                const int32_t k = (column + static_cast<int32_t>(cell[1]) + BUMP_SIZE) % BUMP_SIZE;
                expected[r][k] = -0.125f * cell[2];
            }
            for (int32_t r = 0; r < BUMP_SIZE; ++r) {
                for (int32_t k = 0; k < BUMP_SIZE; ++k) {
                    ASSERT_NEAR(field->height[r][k], expected[r][k], 1e-6f) << "at row " << r << " column " << k;
                }
            }
        }
    }
}

TEST(BumpFieldTest, RandomBumpsStartFromAClearFieldAndDrawFourValuesEach)
{
    // The first bump, by hand from the first four draws: row 16838 mod 64 = 6,
    // column 5758 mod 64 = 62, radius 10113 / 4096 = 2, amplitude
    // 17515 * 0.3 / 32767 - 0.15.
    auto first = empty_field();
    first->add_bump(6, 62, 2, static_cast<float>(17515 * 0.3 / 32767.0 - 0.15));
    EXPECT_NEAR(first->height[6][62], 0.0103595f, 1e-7f);

    // All 256 replayed from a second generator: row, column, radius, amplitude.
    auto replay = empty_field();
    BumpRandom draws;
    for (int i = 0; i < BUMP_RANDOM_COUNT; ++i) {
        const int32_t r = draws.next();
        const int32_t c = draws.next();
        const int32_t radius = draws.next();
        const int32_t amplitude = draws.next();
        replay->add_bump(r % 64, c % 64, radius / 4096, static_cast<float>(amplitude * 0.3 / 32767.0 - 0.15));
    }
    auto field = empty_field();
    field->height[6][62] = 99.0f; // cleared first
    BumpRandom random;
    field->add_random_bumps(random);
    EXPECT_EQ(random.state, draws.state);
    EXPECT_EQ(std::memcmp(field->height, replay->height, sizeof field->height), 0);
    float largest = 0.0f;
    for (const auto& row : field->height) {
        for (const float h : row) {
            largest = std::max(largest, std::fabs(h));
        }
    }
    EXPECT_GT(largest, 0.05f);
    EXPECT_LT(largest, 1.0f);

    // The generator goes on: a second call makes another field.
    field->add_random_bumps(random);
    EXPECT_NE(std::memcmp(field->height, replay->height, sizeof field->height), 0);
}

TEST(BumpImagesTest, AFlatFieldLitFromAnySlantIsOneGrey)
{
    // d = z on a flat field; 128 + the nearest even integer to 128 d.
    const struct {
        float z;
        uint8_t grey;
    } cases[] = {{0.0f, 128},        {0.25f, 160},  {0.5f, 192},   {1.0f, 255},  {2.0f, 255},
                 {-1.0f, 0},         {-3.0f, 0},    {-0.25f, 96},  {1.0f / 256.0f, 128}, {3.0f / 256.0f, 130},
                 {0.999f, 255},      {-0.999f, 0}};
    const auto field = empty_field();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.z);
        BumpImages images;
        build_bump_images(*field, 0.5f, 0.5f, c.z, images);
        for (int level = 0; level < BUMP_LEVELS; ++level) {
            const size_t side = static_cast<size_t>(BUMP_SIZE >> level);
            ASSERT_EQ(images.bump_image[level].size(), side * side * 4);
            for (const uint8_t byte : images.bump_image[level]) {
                ASSERT_EQ(byte, c.grey) << "level " << level;
            }
        }
    }
}

TEST(BumpImagesTest, ABumpIsLitOnOneSideAndShadedOnTheOther)
{
    // A plus-shaped bump of 0.1 about (10, 20): beside it, gx = -(2 + 2 sqrt(0.5)) 0.1
    // to the right, the opposite to the left, gy = 0.
    auto field = empty_field();
    field->add_bump(10, 20, 2, 0.1f);
    BumpImages images;
    build_bump_images(*field, 1.0f, 0.0f, 0.0f, images);
    EXPECT_EQ(texel(images, 0, 10, 21), 84);  // 128 + round(-43.70)
    EXPECT_EQ(texel(images, 0, 10, 19), 172); // 128 + round(43.70)
    EXPECT_EQ(texel(images, 0, 10, 20), 128);
    EXPECT_EQ(texel(images, 0, 30, 40), 128);
    // Lit along x the image is odd about the bump's column, along y about its row.
    for (const bool along_x : {true, false}) {
        build_bump_images(*field, along_x ? 1.0f : 0.0f, along_x ? 0.0f : 1.0f, 0.0f, images);
        for (int32_t a = -4; a <= 4; ++a) {
            for (int32_t b = 1; b <= 4; ++b) {
                const int32_t one = along_x ? texel(images, 0, 10 + a, 20 + b) : texel(images, 0, 10 + b, 20 + a);
                const int32_t other = along_x ? texel(images, 0, 10 + a, 20 - b) : texel(images, 0, 10 - b, 20 + a);
                EXPECT_EQ(one - 128, 128 - other) << a << ", " << b;
            }
        }
    }
    // A bump across the wrap lights the texels on the far edge.
    auto edge = empty_field();
    edge->add_bump(0, 0, 2, 0.1f);
    build_bump_images(*edge, 1.0f, 0.0f, 0.0f, images);
    EXPECT_EQ(texel(images, 0, 0, 63), 172);
    EXPECT_EQ(texel(images, 0, 0, 1), 84);
}

TEST(BumpImagesTest, EachLevelAveragesTwoByTwoOfTheOneAbove)
{
    auto field = empty_field();
    BumpRandom random;
    field->add_random_bumps(random);
    BumpImages images;
    build_bump_images(*field, 0.5f, 0.5f, 0.0f, images);
    const uint8_t* levels[BUMP_LEVELS];
    images.level_pointers(levels);
    for (int level = 1; level < BUMP_LEVELS; ++level) {
        const int32_t side = BUMP_SIZE >> level;
        ASSERT_EQ(levels[level], images.bump_image[level].data());
        for (int32_t r = 0; r < side; ++r) {
            for (int32_t c = 0; c < side; ++c) {
                const uint32_t sum = texel(images, level - 1, 2 * r, 2 * c) + texel(images, level - 1, 2 * r, 2 * c + 1) +
                                     texel(images, level - 1, 2 * r + 1, 2 * c) +
                                     texel(images, level - 1, 2 * r + 1, 2 * c + 1);
                const uint8_t* t = &levels[level][(r * side + c) * 4];
                ASSERT_EQ(t[0], sum >> 2) << "level " << level << " at " << r << ", " << c;
                ASSERT_TRUE(t[1] == t[0] && t[2] == t[0] && t[3] == t[0]);
            }
        }
    }
    // Random bumps give a texture, not one grey.
    const std::vector<uint8_t>& top = images.bump_image[0];
    EXPECT_NE(*std::min_element(top.begin(), top.end()), *std::max_element(top.begin(), top.end()));
}

TEST(BumpLightTest, TheLightCirclesWithTheTimeThroughTheSineTable)
{
    SineTable sine;
    ASSERT_EQ(sine.init(4096), 1);
    // Indices truncated from angle * 4096 / (2 pi): t = 100 gives 2.0 -> 1303.80
    // -> 1303 and 1.5 -> 977.85 -> 977, whose cosine is entry 1024 - 977.
    const auto entry = [](int32_t i) { return std::sin(2.0 * std::numbers::pi * i / 4096.0); };
    const struct {
        int32_t time;
        double x;
        double y;
    } cases[] = {{0, 0.0, 1.0}, {100, entry(1303), entry(47)}, {-100, entry(-1303), entry(47)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        float light[3] = {9.0f, 9.0f, 9.0f};
        bump_light_direction(sine, c.time, light);
        EXPECT_NEAR(light[0], c.x, 1e-6);
        EXPECT_NEAR(light[1], c.y, 1e-6);
        EXPECT_EQ(light[2], 0.0f);
    }
}
