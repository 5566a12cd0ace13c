#include "gl/gl_generated_textures.h"

#include <algorithm>
#include <cmath>

namespace {

// size x size texels sampled at first, first + step, ... on both axes, rows
// outer; value(x, y) gives the grey and alpha bytes.
template <typename Value> std::vector<uint8_t> sample_texels(int32_t size, int32_t first, int32_t step, Value value)
{
    std::vector<uint8_t> texels(static_cast<size_t>(size * size) * 4);
    uint8_t* out = texels.data();
    for (int32_t row = 0; row < size; ++row) {
        const double y = first + row * step;
        for (int32_t column = 0; column < size; ++column) {
            const double x = first + column * step;
            uint8_t grey = 0;
            uint8_t alpha = 0;
            value(x, y, grey, alpha);
            out[0] = out[1] = out[2] = grey;
            out[3] = alpha;
            out += 4;
        }
    }
    return texels;
}

// v in 0..1 (a little above for rounding's sake) to a byte.
uint8_t truncated_byte(double v) { return static_cast<uint8_t>(std::min(255.0, std::max(0.0, v * 255.0))); }

} // namespace

std::vector<uint8_t> env_bitmap_texels(int level)
{
    if (level < 0 || level >= ENV_BITMAPS) {
        return {};
    }
    const double n = level + 1;
    const double i = 0.0125 * n * n + 0.2;
    const double k = 256.0 * i * i / 4096.0;
    return sample_texels(ENV_BITMAP_SIZE, -ENV_BITMAP_SIZE / 2, 1, [i, k](double x, double y, uint8_t& grey, uint8_t& alpha) {
        const double v = std::exp(-k * (x * x + y * y)) * 255.0 * i;
        grey = static_cast<uint8_t>(std::min(255.0, std::nearbyint(v)));
        alpha = 255;
    });
}

std::vector<uint8_t> particle_spot_texels()
{
    return sample_texels(PARTICLE_SPOT_SIZE, 1 - PARTICLE_SPOT_SIZE, 2, [](double x, double y, uint8_t& grey, uint8_t& alpha) {
        grey = 255;
        alpha = truncated_byte(std::exp(-5.0 * (x * x + y * y) / 256.0));
    });
}

std::vector<uint8_t> flare_glow_texels()
{
    return sample_texels(FLARE_TEXTURE_SIZE, 1 - FLARE_TEXTURE_SIZE, 2, [](double x, double y, uint8_t& grey, uint8_t& alpha) {
        const double q = (x * x + y * y) / 1024.0;
        const double v = q < 0.5 ? 1.0 / (14.0 * q + 1.0) : q < 1.0 ? 0.25 - 0.25 * q : 0.0;
        grey = truncated_byte(v);
        alpha = 255;
    });
}

std::vector<uint8_t> flare_ring_texels()
{
    return sample_texels(FLARE_TEXTURE_SIZE, 1 - FLARE_TEXTURE_SIZE, 2, [](double x, double y, uint8_t& grey, uint8_t& alpha) {
        const double q = (x * x + y * y) / 819.0;
        grey = q < 1.0 ? truncated_byte(0.5 + 0.5 * std::sqrt(q)) : 0;
        alpha = 255;
    });
}
