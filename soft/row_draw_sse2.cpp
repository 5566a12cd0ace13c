// The SSE2 forms of the blending row drawers: the texels of a run of pixels
// are looked up first, then four pixels at a time are blended.
#include "soft/drawer_portable.h"
#include "soft/row_draw.h"

#if defined(__SSE2__)
#include "soft/sse2_quads.h"

namespace {

// The texel position of a row: an index and a 16-bit fraction whose carry
// advances it.
template <typename Texel>
class RowCursor {
public:
    RowCursor(const Texel* texels, int32_t u, int32_t du)
        : texels_(texels), index_(u >> 16), fraction_(static_cast<uint32_t>(u) & 0xFFFF), step_(du >> 16),
          step_fraction_(static_cast<uint32_t>(du) & 0xFFFF)
    {
    }
    Texel next()
    {
        const Texel texel = texels_[index_];
        fraction_ += step_fraction_;
        index_ += step_ + (fraction_ >> 16);
        fraction_ &= 0xFFFF;
        return texel;
    }

private:
    const Texel* texels_;
    int64_t index_;
    uint32_t fraction_;
    int64_t step_;
    uint32_t step_fraction_;
};

// Calls blend(d, run, k, stored) for each quad of the row; a texel t goes
// into `run` as put(t), stored holds four depth values (or nothing without
// a depth row).
template <typename Texel, typename PutFn, typename BlendFn>
void draw_row(uint32_t* destination, const uint16_t* depth_row, int count, const Texel* texels, int32_t u, int32_t du,
              PutFn&& put, BlendFn&& blend)
{
    RowCursor<Texel> cursor(texels, u, du);
    TexelRun run;
    for (int first = 0; first < count; first += TEXEL_RUN) {
        const int n = count - first < TEXEL_RUN ? count - first : TEXEL_RUN;
        for (int k = 0; k < n; ++k) {
            put(run, k, cursor.next());
        }
        run.pad(n);
        for_each_quad(destination + first, depth_row != nullptr ? depth_row + first : nullptr, n,
                      [&](uint32_t* pixels, const uint16_t* stored, int k) {
                          const __m128i z = stored != nullptr ? load_quad16(stored) : _mm_setzero_si128();
                          store_quad(pixels, blend(load_quad(pixels), run, k, z));
                      });
    }
}

// Draws 16-bit texels through the palette by blend(d, colours, opacities),
// where depth (z >> 16) is not below the depth row's value when there is one.
template <typename BlendFn>
void draw_texel_row(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                    const uint32_t* palette, int32_t u, int32_t du, uint32_t depth, BlendFn&& blend)
{
    const __m128i depth4 = _mm_set1_epi32(static_cast<int>(depth));
    draw_row(
        destination, depth_row, count, texels, u, du,
        [palette](TexelRun& run, int k, uint16_t texel) { run.put(k, texel, palette); },
        [&](__m128i d, const TexelRun& run, int k, __m128i stored) {
            const __m128i blended = blend(d, run.colour_quad(k), run.opacity_quad(k));
            if (depth_row == nullptr) {
                return blended;
            }
            const __m128i behind = _mm_cmpgt_epi32(_mm_unpacklo_epi16(stored, _mm_setzero_si128()), depth4);
            return select_quad(behind, d, blended);
        });
}

__m128i icon_half(__m128i d, __m128i colours, __m128i opacity)
{
    return blend_half_quad(d, colours, spread_quad(opacity));
}

__m128i icon_wide(__m128i d, __m128i colours, __m128i opacity)
{
    return blend_wide_quad(d, colours, spread_quad(grey_weight256(opacity)));
}

// d + 2 * floor((c - d) * g / 256), g given as g * 256; saturated by the pack.
__m128i blend_full_lanes(__m128i d, __m128i c, __m128i g256)
{
    const __m128i step = _mm_mulhi_epi16(_mm_sub_epi16(c, d), g256);
    return _mm_add_epi16(d, _mm_add_epi16(step, step));
}

uint32_t row_depth(int32_t z) { return static_cast<uint32_t>(z) >> 16; }

} // namespace

void row_draw_icon(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette, int32_t u,
                   int32_t du)
{
    draw_texel_row(destination, nullptr, count, texels, palette, u, du, 0, icon_half);
}

void row_draw_icon_mmx(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette, int32_t u,
                       int32_t du)
{
    draw_texel_row(destination, nullptr, count, texels, palette, u, du, 0, icon_wide);
}

void row_draw_sprite(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                     const uint32_t* palette, int32_t u, int32_t du, int32_t z)
{
    draw_texel_row(destination, depth_row, count, texels, palette, u, du, row_depth(z), icon_half);
}

void row_draw_sprite_mmx(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                         const uint32_t* palette, int32_t u, int32_t du, int32_t z)
{
    draw_texel_row(destination, depth_row, count, texels, palette, u, du, row_depth(z), icon_wide);
}

void row_draw_blend(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u, int32_t du)
{
    const __m128i half = _mm_set1_epi32(static_cast<int>((colour >> 1) & 0x7F7F7F7F));
    draw_row(
        destination, nullptr, count, weights, u, du,
        [](TexelRun& run, int k, uint8_t weight) { run.opacity[k] = weight; },
        [half](__m128i d, const TexelRun& run, int k, __m128i) {
            return blend_half_quad(d, half, spread_quad(run.opacity_quad(k)));
        });
}

void row_draw_blend_mmx(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                        int32_t du)
{
    const __m128i c = repeat_bytes(colour);
    draw_row(
        destination, nullptr, count, weights, u, du,
        [](TexelRun& run, int k, uint8_t weight) { run.opacity[k] = weight; },
        [c](__m128i d, const TexelRun& run, int k, __m128i) {
            const QuadLanes g = spread_quad(grey_weight256(run.opacity_quad(k)));
            const QuadLanes dl = widen_quad(d);
            return pack_quad(QuadLanes{blend_full_lanes(dl.lo, c, g.lo), blend_full_lanes(dl.hi, c, g.hi)});
        });
}

#else

void row_draw_icon(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette, int32_t u,
                   int32_t du)
{
    row_draw_icon_portable(destination, count, texels, palette, u, du);
}

void row_draw_icon_mmx(uint32_t* destination, int count, const uint16_t* texels, const uint32_t* palette, int32_t u,
                       int32_t du)
{
    row_draw_icon_mmx_portable(destination, count, texels, palette, u, du);
}

void row_draw_sprite(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                     const uint32_t* palette, int32_t u, int32_t du, int32_t z)
{
    row_draw_sprite_portable(destination, depth_row, count, texels, palette, u, du, z);
}

void row_draw_sprite_mmx(uint32_t* destination, const uint16_t* depth_row, int count, const uint16_t* texels,
                         const uint32_t* palette, int32_t u, int32_t du, int32_t z)
{
    row_draw_sprite_mmx_portable(destination, depth_row, count, texels, palette, u, du, z);
}

void row_draw_blend(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u, int32_t du)
{
    row_draw_blend_portable(destination, count, weights, colour, u, du);
}

void row_draw_blend_mmx(uint32_t* destination, int count, const uint8_t* weights, uint32_t colour, int32_t u,
                        int32_t du)
{
    row_draw_blend_mmx_portable(destination, count, weights, colour, u, du);
}

#endif
