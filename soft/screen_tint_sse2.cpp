// The SSE2 forms of the screen tint, four pixels of a row at a time.
#include "soft/drawer_portable.h"
#include "soft/screen_tint.h"

#if defined(__SSE2__)
#include "soft/sse2_quads.h"

namespace {

// Replaces each quad of the rectangle by lanes(pixel lanes), row by row.
template <typename LaneFn>
void tint_quads(uint32_t* first, int width, int height, int pitch, LaneFn&& lanes)
{
    uint32_t* row = first;
    for (int y = 0; y < height; ++y, row += pitch) {
        for_each_quad(row, nullptr, width, [&](uint32_t* pixels, const uint16_t*, int) {
            const QuadLanes d = widen_quad(load_quad(pixels));
            store_quad(pixels, pack_quad(QuadLanes{lanes(d.lo), lanes(d.hi)}));
        });
    }
}

} // namespace

void blend_span_to_colour(uint32_t* first, int width, int height, int pitch, uint32_t colour, uint32_t strengths)
{
    // The halved colour (0-124) and pixel (0-127) differ by less than 128, so
    // the difference needs no wrap into a signed byte, and the blend stays
    // between them, so it needs no wrap to 0-255 either.
    const __m128i half = repeat_bytes((colour & 0xF8F8F8F8) >> 1);
    const __m128i weights = repeat_bytes(strengths);
    tint_quads(first, width, height, pitch, [&](__m128i d) {
        const __m128i d_half = _mm_srli_epi16(d, 1);
        const __m128i step = _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(half, d_half), weights), 8);
        return _mm_slli_epi16(_mm_add_epi16(d_half, step), 1);
    });
}

void blend_span_to_colour_mmx(uint32_t* first, int width, int height, int pitch, uint32_t colour, uint32_t strengths)
{
    // colour + floor((pixel - colour) * 2 * keep / 65536), keep = (255 - strength) * 128.
    const __m128i c = repeat_bytes(colour);
    const __m128i keep = _mm_slli_epi16(_mm_sub_epi16(_mm_set1_epi16(255), repeat_bytes(strengths)), 7);
    tint_quads(first, width, height, pitch, [&](__m128i d) {
        const __m128i diff = _mm_sub_epi16(d, c);
        return _mm_add_epi16(c, _mm_mulhi_epi16(_mm_add_epi16(diff, diff), keep));
    });
}

#else

void blend_span_to_colour(uint32_t* first, int width, int height, int pitch, uint32_t colour, uint32_t strengths)
{
    blend_span_to_colour_portable(first, width, height, pitch, colour, strengths);
}

void blend_span_to_colour_mmx(uint32_t* first, int width, int height, int pitch, uint32_t colour, uint32_t strengths)
{
    blend_span_to_colour_mmx_portable(first, width, height, pitch, colour, strengths);
}

#endif
