// The SSE2 forms of the lit drawers. Pass 2 of all but span_draw_lit_filtered
// writes each pixel's palette colour first and then lights four pixels at a
// time in 16-bit lanes; span_draw_lit_filtered mixes light and texels one
// pixel at a time. The byte-wise interpolations give the bytes of lerp_bytes
// for every input. The bilinear light of span_draw_lit_mmx is held at half
// the portable form's scale (light byte * 128), where every step of the
// portable form is even, so that all light bytes 0-255 fit a signed lane.
#include "soft/drawer_portable.h"
#include "soft/lit_span.h"

#if defined(__SSE2__)
#include "core/kassert.h"
#include "core/numerics.h"
#include "soft/light_block.h"
#include "soft/lit_light.h"
#include "soft/plan_walk.h"
#include "soft/sse2_quads.h"

namespace {

// The fill of draw_lit for the light fills that write one light per pixel.
template <void (*Fill)(const SpanPlan*, int32_t, int32_t)>
int light_per_pixel(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    Fill(plan, light_s, light_t);
    return 0;
}

// The bytes of the light texel A under (s, t), of its right neighbour B, of
// the one below, C, and of the one below-right, D, in the order A C B D.
[[gnu::always_inline]] inline __m128i light_texels(uint32_t s, uint32_t t)
{
    const uint32_t* block = surface_light_block + light_index(s, t);
    const __m128i ab = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
    const __m128i cd = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block + 32));
    return _mm_unpacklo_epi32(ab, cd);
}

// floor(x * w / 2^shift) of 16-bit lanes whose full product fits 16 + shift
// bits: the 32-bit products' bits from `shift` up.
template <int Shift>
[[gnu::always_inline]] inline __m128i mul_shift(__m128i x, __m128i w)
{
    return _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(x, w), 16 - Shift),
                        _mm_srli_epi16(_mm_mullo_epi16(x, w), Shift));
}

// Two bilinear lights from their two rows each, at half scale with 15-bit
// weights: light_rows interpolates a sample's top and bottom rows side by
// side, light_columns goes down both samples' columns at once.
[[gnu::always_inline]] inline __m128i light_rows(uint32_t s, uint32_t t)
{
    const __m128i texels = light_texels(s, t);
    const __m128i zero = _mm_setzero_si128();
    const __m128i left = _mm_unpacklo_epi8(texels, zero); // A, C
    const __m128i right = _mm_unpackhi_epi8(texels, zero);
    const __m128i ws = _mm_shufflelo_epi16(_mm_cvtsi32_si128(static_cast<int>((s & 0xFFFF) >> 1)), 0);
    const __m128i across = mul_shift<8>(_mm_sub_epi16(right, left), _mm_unpacklo_epi64(ws, ws));
    return _mm_add_epi16(_mm_slli_epi16(left, 7), across); // top, bottom
}

[[gnu::always_inline]] inline __m128i light_columns(__m128i rows_a, uint32_t t_a, __m128i rows_b, uint32_t t_b)
{
    const __m128i tops = _mm_unpacklo_epi64(rows_a, rows_b);
    const __m128i bottoms = _mm_unpackhi_epi64(rows_a, rows_b);
    const __m128i w = _mm_cvtsi32_si128(static_cast<int>(((t_a & 0xFFFF) >> 1) | ((t_b & 0xFFFF) >> 1) << 16));
    const __m128i w2 = _mm_unpacklo_epi16(w, w);
    // Between two rows of 0..32640 the light stays in that range.
    return _mm_add_epi16(tops, mul_shift<15>(_mm_sub_epi16(bottoms, tops), _mm_unpacklo_epi32(w2, w2)));
}

using LightSample = uint16_t[4];

// Stores `samples` samples `spacing` pixels apart from p on, and returns
// the point after the last one.
LightPoint sample_line(LightSample*& out, LightPoint p, SpanStep step, int samples, int spacing)
{
    const LightPoint d = light_step(step);
    const uint32_t ds = d.s * static_cast<uint32_t>(spacing);
    const uint32_t dt = d.t * static_cast<uint32_t>(spacing);
    LightSample* o = out;
    int k = 0;
    for (; k + 2 <= samples; k += 2) {
        const uint32_t s1 = p.s + ds;
        const uint32_t t1 = p.t + dt;
        store_quad(o, light_columns(light_rows(p.s, p.t), p.t, light_rows(s1, t1), t1));
        o += 2;
        p = LightPoint{s1 + ds, t1 + dt};
    }
    if (k < samples) {
        const __m128i rows = light_rows(p.s, p.t);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o++), light_columns(rows, p.t, rows, p.t));
        p = LightPoint{p.s + ds, p.t + dt};
    }
    out = o;
    return p;
}

// Pass 1 of span_draw_lit_mmx: the samples of WideLayout in pixel order.
int fill_light_wide(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    const SpanStep* steps = span_plan_steps(plan);
    const int lead = span_plan_lead(plan);
    const int full = span_plan_full(plan);
    const int last = span_plan_last(plan);
    LightSample* out = light_line.samples;
    LightPoint p = light_start(plan, light_s, light_t, 0);
    if (full == 0 && last == 0) {
        sample_line(out, p, steps[0], lead, 1);
        return 0;
    }
    const int head = lead % 4;
    p = sample_line(out, p, steps[0], head, 1);
    p = sample_line(out, p, steps[0], lead / 4, 4);
    for (int f = 1; f <= full; ++f) {
        p = sample_line(out, p, steps[f], SPAN_PIECE / 4, 4);
    }
    // The last piece's groups, then its tail of one to four pixels.
    p = sample_line(out, p, steps[full + 1], (last - 1) / 4, 4);
    sample_line(out, p, steps[full + 1], (last - 1) % 4 + 1, 1);
    return 0;
}

__m128i word_lanes(uint32_t x) { return _mm_cvtsi32_si128(static_cast<int>(x)); }

// The four low lanes packed back into a pixel, saturated.
uint32_t pixel_of(__m128i lanes)
{
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, _mm_setzero_si128())));
}

// The bilinear light at (s, t) with 8-bit weights.
[[gnu::always_inline]] inline uint32_t light_bilinear(uint32_t s, uint32_t t)
{
    const __m128i texels = light_texels(s, t);
    const __m128i zero = _mm_setzero_si128();
    return pixel_of(bilinear_lanes(_mm_unpacklo_epi8(texels, zero), _mm_unpackhi_epi8(texels, zero), (s >> 8) & 255,
                                   (t >> 8) & 255));
}

void fill_light_filtered(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    walk_light(plan, light_start(plan, light_s, light_t, 0),
               [](int i, uint32_t s, uint32_t t) { light_line.pixels[i] = light_bilinear(s, t); });
}

// Pass 1 of span_draw_lit_blend with the part between two samples in lanes,
// two pixels a register: a + ((k * (b - a)) >> shift), the shift arithmetic.
struct Sse2Blend {
    static uint32_t bilinear(uint32_t s, uint32_t t) { return light_bilinear(s, t); }
    static void part(uint32_t* out, uint32_t a, uint32_t b, int length, int shift)
    {
        if (length == 1) {
            *out = b;
            return;
        }
        const __m128i zero = _mm_setzero_si128();
        const __m128i al = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(a)), zero);
        const __m128i d = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(b)), zero), al);
        const __m128i count = _mm_cvtsi32_si128(shift);
        __m128i k = _mm_setr_epi16(1, 1, 1, 1, 2, 2, 2, 2);
        for (int j = 0; j < length; j += 2) {
            const __m128i light = _mm_add_epi16(al, _mm_sra_epi16(_mm_mullo_epi16(d, k), count));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(light, light));
            k = _mm_add_epi16(k, _mm_set1_epi16(2));
        }
    }
};

void fill_light_blend(const SpanPlan* plan, int32_t light_s, int32_t light_t)
{
    fill_light_blend_with<Sse2Blend>(plan, light_s, light_t);
}

// min(255, (l * c) >> 5) for l below 128, else 0: light_mul_table[l][c].
__m128i light_mul_lanes(__m128i l, __m128i c)
{
    const __m128i product = _mm_srli_epi16(_mm_mullo_epi16(l, c), 5);
    return _mm_andnot_si128(_mm_cmpgt_epi16(l, _mm_set1_epi16(127)), product);
}

void light_pixels(const SpanPlan* plan, int)
{
    for_each_quad(plan->destination, nullptr, span_plan_pixels(plan), [](uint32_t* pixels, const uint16_t*, int k) {
        const QuadLanes c = widen_quad(load_quad(pixels));
        const QuadLanes l = widen_quad(load_quad(light_line.pixels + k));
        store_quad(pixels, pack_quad(QuadLanes{light_mul_lanes(l.lo, c.lo), light_mul_lanes(l.hi, c.hi)}));
    });
}

// (c * l) >> 12 of colour bytes and 16-bit lights, saturated by the pack.
__m128i light_wide_lanes(__m128i c, __m128i l) { return _mm_mulhi_epu16(_mm_slli_epi16(c, 4), l); }

__m128i load_sample(int n) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(light_line.samples[n])); }

// The pixels sampled one by one take their own sample; a group of four
// between samples a and b takes a, (a + m)/2, m and (m + b)/2, m = (a + b)/2.
void light_pixels_wide(const SpanPlan* plan, int)
{
    uint32_t* const dst = plan->destination;
    const WideLayout layout(plan);
    const int tail = layout.tail_start();
    const int count = span_plan_pixels(plan);
    const __m128i zero = _mm_setzero_si128();
    const auto single = [&](int i) {
        const __m128i c = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(dst[i])), zero);
        const __m128i l = load_sample(layout.single_sample(i));
        dst[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(light_wide_lanes(c, l), zero)));
    };
    for (int i = 0; i < layout.head; ++i) {
        single(i);
    }
    const int head = layout.head;
    for_each_quad(dst + head, nullptr, tail - head, [head](uint32_t* pixels, const uint16_t*, int k) {
        const int g = head + k / 4;
        const __m128i a = load_sample(g);
        const __m128i b = load_sample(g + 1);
        const __m128i m = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        const __m128i even = _mm_unpacklo_epi64(a, m);                                        // a, m
        const __m128i odd = _mm_srli_epi16(_mm_add_epi16(even, _mm_unpacklo_epi64(m, b)), 1); // (a+m)/2, (m+b)/2
        const QuadLanes c = widen_quad(load_quad(pixels));
        store_quad(pixels, pack_quad(QuadLanes{light_wide_lanes(c.lo, _mm_unpacklo_epi64(even, odd)),
                                               light_wide_lanes(c.hi, _mm_unpackhi_epi64(even, odd))}));
    });
    for (int i = tail; i < count; ++i) {
        single(i);
    }
}

// Pass 1 by fill(plan, light s, light t), which returns what light(plan,
// that) needs, then the palette colours and their light.
void draw_lit(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
              int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T,
              int (*fill)(const SpanPlan*, int32_t, int32_t), void (*light)(const SpanPlan*, int))
{
    const TexelAddress ta(ulog, vsize, level);
    draw_lit_plans(
        plans, count, S, T, [&](const SpanPlan* plan) { return fill(plan, light_s, light_t); },
        [&](const SpanPlan* plan, int filled) {
            uint32_t* const dst = plan->destination;
            walk_plan(plan, ta, [=](int i, uint32_t u, uint32_t v) { dst[i] = palette[texels[ta.index(u, v)]]; });
            light(plan, filled);
        });
}

} // namespace

void span_draw_lit(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
                   int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T)
{
    draw_lit(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T,
             light_per_pixel<fill_light_nearest>, light_pixels);
}

void span_draw_lit_blend(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                         int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T)
{
    draw_lit(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T,
             light_per_pixel<fill_light_blend>, light_pixels);
}

void span_draw_lit_filtered(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                            int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                            const int32_t* T)
{
    draw_lit_filtered(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T, fill_light_filtered,
                      [](uint32_t light, uint32_t p0, uint32_t p1, uint32_t p2, uint32_t p3, uint32_t fu, uint32_t fv) {
                          const __m128i zero = _mm_setzero_si128();
                          const __m128i left =
                              _mm_unpacklo_epi8(_mm_unpacklo_epi32(word_lanes(p0), word_lanes(p2)), zero);
                          const __m128i right =
                              _mm_unpacklo_epi8(_mm_unpacklo_epi32(word_lanes(p1), word_lanes(p3)), zero);
                          const __m128i l = _mm_unpacklo_epi8(word_lanes(light), zero);
                          return pixel_of(light_mul_lanes(l, bilinear_lanes(left, right, fu, fv)));
                      });
}

void span_draw_lit_mmx(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
                       int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T)
{
    draw_lit(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T, fill_light_wide,
             light_pixels_wide);
}

#else

void span_draw_lit(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
                   int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T)
{
    span_draw_lit_portable(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T);
}

void span_draw_lit_blend(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                         int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T)
{
    span_draw_lit_blend_portable(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T);
}

void span_draw_lit_filtered(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog,
                            int vsize, int level, int32_t light_s, int32_t light_t, const int32_t* S,
                            const int32_t* T)
{
    span_draw_lit_filtered_portable(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T);
}

void span_draw_lit_mmx(SpanPlan* plans, int count, const uint8_t* texels, const uint32_t* palette, int ulog, int vsize,
                       int level, int32_t light_s, int32_t light_t, const int32_t* S, const int32_t* T)
{
    span_draw_lit_mmx_portable(plans, count, texels, palette, ulog, vsize, level, light_s, light_t, S, T);
}

#endif
