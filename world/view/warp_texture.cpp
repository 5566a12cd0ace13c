#include "world/view/warp_texture.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "core/sine_table.h"
#include "renderer/texel_map.h"
#include "renderer/texture_levels.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float WARP_ANGLE_STEP = 0.02454296875f; // radians per table entry: one period over 256
constexpr int32_t QUARTER = WARP_TABLE / 4;
constexpr uint32_t TABLE_MASK = WARP_TABLE - 1;

float table_cosine(int32_t i)
{
    K_ASSERT(sine_table);
    return sine_table->cosine_at(sine_table->index(static_cast<float>(i) * WARP_ANGLE_STEP));
}

} // namespace

WarpTexture::~WarpTexture()
{
    palette = nullptr;
    texture_clear(*this);
}

void WarpTexture::set_params(uint32_t m, float p1, float p2, float p3, float p4)
{
    mode = m;
    wavelength = p1;
    amplitude = p2;
    wave_speed = p3;
    alpha_gain = p4;
    if (mode != WARP_MODE_SINE) {
        return;
    }
    for (int32_t i = 0; i < WARP_TABLE; ++i) {
        const double c = table_cosine(i);
        wave[i] = float_to_int_round(static_cast<double>(amplitude) * 256.0 * c);
        wobble[i] = float_to_int_round(16.0 * c);
    }
}

Texture* WarpTexture::generate(Texture* source, int32_t ticks)
{
    K_ASSERT(source);
    take_palette(*source);
    if (mode == WARP_MODE_NONE) {
        return source;
    }
    if (mode != WARP_MODE_SINE) {
        return this;
    }
    const TexelMap& first = source->levels[0];
    if (source->mipmaps < 1 || first.width != levels[0].width || first.height != levels[0].height ||
        (source->flags & TEXTURE_TRANSPARENT) != (flags & TEXTURE_TRANSPARENT)) {
        if (!size_warned_) {
            print_format(P_WARNING, "WarpTexture: Source of another size (%d * %d), drawn unwarped", first.width,
                         first.height);
            size_warned_ = true;
        }
        return source;
    }
    for (int i = 0; i < mipmaps; ++i) {
        generate_level(source->levels[std::min(i, source->mipmaps - 1)], levels[i], ticks);
    }
    return this;
}

void WarpTexture::take_palette(const Texture& source)
{
    if (source.palette == nullptr) {
        palette = nullptr;
        return;
    }
    std::copy(source.palette, source.palette + PALETTE_ENTRIES, colours_);
    palette = colours_;
}

void WarpTexture::generate_level(const TexelMap& from, TexelMap& to, int32_t ticks)
{
    const int32_t w = to.width;
    const int32_t h = to.height;
    const int32_t lw = texture_log2(from.width);
    // A wavelength of 0 would make the step infinite: the wave then has no
    // extent along the texture and moves it as a whole.
    const double period = static_cast<double>(wavelength) * 16.0;
    const uint32_t step = period != 0.0 && std::isfinite(period)
                              ? static_cast<uint32_t>(float_to_int_round(static_cast<double>(1 << lw) * 256.0 / period))
                              : 0;
    const uint32_t column_step = 4u << lw;
    const int32_t phase = float_to_int_round(static_cast<double>(static_cast<float>(ticks) * wave_speed) * 4.0);
    // Gain of the alpha change per unit of displacement; none without a wave.
    const int64_t gain = amplitude != 0.0f ? float_to_int_round(static_cast<double>(alpha_gain) * 1024.0 /
                                                                static_cast<double>(amplitude))
                                           : 0;
    int32_t shift_y[WARP_TABLE];
    int32_t shift_x[WARP_TABLE];
    for (int32_t i = 0; i < WARP_TABLE; ++i) {
        shift_y[i] = wave[i] >> 8;
        shift_x[i] = wave[(i + QUARTER) & TABLE_MASK] >> 8;
    }
    uint32_t row_phase[TEXTURE_MAX_SIZE];
    const uint32_t wobble_base = static_cast<uint32_t>(phase / 4);
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t ux = static_cast<uint32_t>(x) * step + static_cast<uint32_t>(phase);
        row_phase[x] = ux + static_cast<uint32_t>(wobble[(wobble_base + static_cast<uint32_t>(x) * column_step) & TABLE_MASK]);
    }
    const uint32_t wmask = static_cast<uint32_t>(w - 1);
    const uint32_t hmask = static_cast<uint32_t>(h - 1);
    const size_t stride = static_cast<size_t>(from.width);
    const bool transparent = (flags & TEXTURE_TRANSPARENT) != 0;
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t uy = static_cast<uint32_t>(y) * step;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t u = (row_phase[x] + uy) & TABLE_MASK;
            const uint32_t sx = static_cast<uint32_t>(x + shift_x[u]) & wmask;
            const uint32_t sy = static_cast<uint32_t>(y + shift_y[u]) & hmask;
            const size_t at = sy * stride + sx;
            const size_t out = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            if (!transparent) {
                to.texels[out] = from.texels[at];
                continue;
            }
            const int64_t change = static_cast<int64_t>(wave[(u + QUARTER) & TABLE_MASK]) * gain >> 12;
            const int64_t alpha = from.texels[2 * at + 1] + change;
            to.texels[2 * out] = from.texels[2 * at];
            to.texels[2 * out + 1] = static_cast<uint8_t>(std::clamp<int64_t>(alpha, 0, 255));
        }
    }
    texels_rewritten(*this, to);
}
