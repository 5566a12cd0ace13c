#include "gl/gl_bump_images.h"

#include "core/numerics.h"
#include "core/sine_table.h"

#include <cmath>

namespace {

constexpr uint32_t BUMP_WRAP = BUMP_SIZE - 1;

int32_t wrap(int32_t i) { return static_cast<int32_t>(static_cast<uint32_t>(i) & BUMP_WRAP); }

uint8_t lit_texel(float d)
{
    if (d <= -1.0f) {
        return 0;
    }
    if (d >= 1.0f) {
        return 255;
    }
    // Just below 1 the nearest integer to 128 d is 128 itself: keep it white.
    const long v = std::lrint(d * 128.0f) + 128;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

} // namespace

int32_t BumpRandom::next()
{
    state = state * 1103515245u + 12345u;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

void BumpField::add_bump(int32_t row, int32_t column, int32_t radius, float amplitude)
{
    if (radius <= 0) {
        return;
    }
    const float r = static_cast<float>(radius);
    for (int32_t dy = -radius; dy <= radius; ++dy) {
        const float fy = static_cast<float>(dy + radius) / r - 1.0f;
        for (int32_t dx = -radius; dx <= radius; ++dx) {
            const float fx = static_cast<float>(dx + radius) / r - 1.0f;
            const float d = fx * fx + fy * fy;
            if (d < 0.5f) {
                height[wrap(row + dy)][wrap(column + dx)] += std::sqrt(2.0f * (0.5f - d)) * amplitude;
            }
        }
    }
}

void BumpField::add_random_bumps(BumpRandom& random)
{
    *this = BumpField();
    for (int i = 0; i < BUMP_RANDOM_COUNT; ++i) {
        const int32_t row = random.next() % BUMP_SIZE;
        const int32_t column = random.next() % BUMP_SIZE;
        const int32_t radius = random.next() / 4096;
        const double amplitude = random.next() * 0.3 / 32767.0 - 0.15;
        add_bump(row, column, radius, static_cast<float>(amplitude));
    }
}

void BumpImages::level_pointers(const uint8_t* levels[BUMP_LEVELS]) const
{
    for (int k = 0; k < BUMP_LEVELS; ++k) {
        levels[k] = bump_image[k].data();
    }
}

void build_bump_images(const BumpField& field, float x, float y, float z, BumpImages& images)
{
    const auto h = [&field](int32_t r, int32_t c) { return field.height[wrap(r)][wrap(c)]; };
    std::vector<uint8_t>& top = images.bump_image[0];
    top.resize(BUMP_SIZE * BUMP_SIZE * 4);
    for (int32_t r = 0; r < BUMP_SIZE; ++r) {
        for (int32_t c = 0; c < BUMP_SIZE; ++c) {
            const float gx = (h(r - 1, c + 1) + 2.0f * h(r, c + 1) + h(r + 1, c + 1)) -
                             (h(r - 1, c - 1) + 2.0f * h(r, c - 1) + h(r + 1, c - 1));
            const float gy = (h(r + 1, c - 1) + 2.0f * h(r + 1, c) + h(r + 1, c + 1)) -
                             (h(r - 1, c - 1) + 2.0f * h(r - 1, c) + h(r - 1, c + 1));
            const uint8_t v = lit_texel(gx * x + gy * y + 1.0f * z);
            uint8_t* const texel = &top[static_cast<size_t>(r * BUMP_SIZE + c) * 4];
            texel[0] = texel[1] = texel[2] = texel[3] = v;
        }
    }
    for (int k = 1; k < BUMP_LEVELS; ++k) {
        const int32_t side = BUMP_SIZE >> k;
        const std::vector<uint8_t>& above = images.bump_image[k - 1];
        std::vector<uint8_t>& level = images.bump_image[k];
        level.resize(static_cast<size_t>(side * side) * 4);
        const auto at = [&above, side](int32_t r, int32_t c, int32_t byte) {
            return static_cast<uint32_t>(above[static_cast<size_t>((r * side * 2 + c) * 4 + byte)]);
        };
        for (int32_t r = 0; r < side; ++r) {
            for (int32_t c = 0; c < side; ++c) {
                for (int32_t byte = 0; byte < 4; ++byte) {
                    const uint32_t sum = at(2 * r, 2 * c, byte) + at(2 * r, 2 * c + 1, byte) +
                                         at(2 * r + 1, 2 * c, byte) + at(2 * r + 1, 2 * c + 1, byte);
                    level[static_cast<size_t>((r * side + c) * 4 + byte)] = static_cast<uint8_t>(sum >> 2);
                }
            }
        }
    }
}

void bump_light_direction(const SineTable& sine, int32_t time, float light[3])
{
    const double scale = sine.scale;
    light[0] = sine.sine_at(float_to_int_trunc(0.02 * time * scale));
    light[1] = sine.cosine_at(float_to_int_trunc(0.015 * time * scale));
    light[2] = 0.0f;
}
