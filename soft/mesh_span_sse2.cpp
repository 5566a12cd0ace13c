// The SSE2 forms of span_draw_zlit and span_draw_zlit_mmx: the palette
// colours of a run of pixels are looked up first, then four pixels at a time
// are tested against the depth row, lit in 16-bit lanes and kept or dropped.
// Only the low 16 bits of a light value reach either product, so the lights
// step in 16-bit lanes.
#include "soft/drawer_portable.h"
#include "soft/mesh_span.h"

#if defined(__SSE2__)
#include <cstddef>

#include "soft/sse2_quads.h"

namespace {

// The texel position of a span: an offset (the step after the last pixel may
// point past the texels) and 16-bit fractions whose carries add one texel and
// one row.
class ZlitCursor {
public:
    explicit ZlitCursor(const ZlitSpan& span)
        : width_(span.width), step_((span.du >> 16) + (span.dv >> 16) * width_),
          du_(static_cast<uint32_t>(span.du) & 0xFFFF), dv_(static_cast<uint32_t>(span.dv) & 0xFFFF),
          u_(span.u_fraction & 0xFFFF), v_(span.v_fraction & 0xFFFF)
    {
    }
    std::ptrdiff_t next()
    {
        const std::ptrdiff_t texel = texel_;
        u_ += du_;
        v_ += dv_;
        texel_ += step_ + (u_ >> 16) + static_cast<std::ptrdiff_t>(v_ >> 16) * width_;
        u_ &= 0xFFFF;
        v_ &= 0xFFFF;
        return texel;
    }

private:
    std::ptrdiff_t texel_ = 0;
    std::ptrdiff_t width_;
    std::ptrdiff_t step_;
    uint32_t du_, dv_, u_, v_;
};

// Four 32-bit values, the low 16 bits of each, in the low half.
__m128i narrow_quad(__m128i x)
{
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(x, 16), 16), _mm_setzero_si128());
}

// shade(colours, lights) lights the bytes of two pixels in 16-bit lanes.
// Whole quads read every pixel's texel, drawn or not; the last pixels are
// done one by one, so that short spans cost little more than their pixels.
template <typename ShadeFn>
void draw_zlit(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span, ShadeFn&& shade)
{
    ZlitCursor cursor(span);
    const uint8_t* const texels = span.texels;
    const uint32_t* const palette = span.palette;
    const uint32_t z = static_cast<uint32_t>(span.depth);
    const uint32_t dz = static_cast<uint32_t>(span.depth_step);
    const __m128i z_steps = _mm_setr_epi32(0, static_cast<int>(dz), static_cast<int>(2 * dz), static_cast<int>(3 * dz));
    // Lane k of a pixel's four lanes is the light of byte k; `lights` holds
    // those of pixels 0 and 1.
    const __m128i light16 = narrow_quad(_mm_setr_epi32(span.light[0], span.light[1], span.light[2], span.light[3]));
    const __m128i step16 =
        narrow_quad(_mm_setr_epi32(span.light_step[0], span.light_step[1], span.light_step[2], span.light_step[3]));
    const __m128i step_pair = _mm_unpacklo_epi64(step16, step16);
    const __m128i lights =
        _mm_add_epi16(_mm_unpacklo_epi64(light16, light16), _mm_unpacklo_epi64(_mm_setzero_si128(), step16));
    const __m128i two_steps = _mm_add_epi16(step_pair, step_pair);
    auto lights_at = [&](int i) {
        return _mm_add_epi16(lights, _mm_mullo_epi16(_mm_set1_epi16(static_cast<short>(i)), step_pair));
    };
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const uint32_t c0 = palette[texels[cursor.next()]];
        const uint32_t c1 = palette[texels[cursor.next()]];
        const uint32_t c2 = palette[texels[cursor.next()]];
        const uint32_t c3 = palette[texels[cursor.next()]];
        const __m128i colours =
            _mm_setr_epi32(static_cast<int>(c0), static_cast<int>(c1), static_cast<int>(c2), static_cast<int>(c3));
        uint16_t* const stored = depth_row + i;
        const __m128i depth = _mm_srli_epi32(
            _mm_add_epi32(_mm_set1_epi32(static_cast<int>(z + static_cast<uint32_t>(i) * dz)), z_steps), 16);
        const __m128i old_depth = _mm_unpacklo_epi16(load_quad16(stored), _mm_setzero_si128());
        const __m128i below = _mm_cmplt_epi32(depth, old_depth);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(stored), narrow_quad(select_quad(below, old_depth, depth)));
        const __m128i lo = lights_at(i);
        const QuadLanes c = widen_quad(colours);
        const __m128i lit = pack_quad(QuadLanes{shade(c.lo, lo), shade(c.hi, _mm_add_epi16(lo, two_steps))});
        store_quad(destination + i, select_quad(below, load_quad(destination + i), lit));
    }
    for (; i < count; ++i) {
        const std::ptrdiff_t texel = cursor.next();
        const uint32_t depth = (z + static_cast<uint32_t>(i) * dz) >> 16;
        if (depth >= depth_row[i]) {
            depth_row[i] = static_cast<uint16_t>(depth);
            const __m128i c =
                _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(palette[texels[texel]])), _mm_setzero_si128());
            destination[i] =
                static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(shade(c, lights_at(i)), _mm_setzero_si128())));
        }
    }
}

} // namespace

void span_draw_zlit(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span)
{
    // light_mul_table[l][c] is (l * c) >> 5 for l below 128, saturated by the pack.
    draw_zlit(destination, depth_row, count, span, [](__m128i c, __m128i light) {
        const __m128i l = _mm_and_si128(_mm_srli_epi16(light, 8), _mm_set1_epi16(127));
        return _mm_srli_epi16(_mm_mullo_epi16(l, c), 5);
    });
}

void span_draw_zlit_mmx(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span)
{
    // (c * 256 * light) >> 21 with a signed light is (8c * light) >> 16.
    draw_zlit(destination, depth_row, count, span,
              [](__m128i c, __m128i light) { return _mm_mulhi_epi16(_mm_slli_epi16(c, 3), light); });
}

#else

void span_draw_zlit(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span)
{
    span_draw_zlit_portable(destination, depth_row, count, span);
}

void span_draw_zlit_mmx(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span)
{
    span_draw_zlit_mmx_portable(destination, depth_row, count, span);
}

#endif
