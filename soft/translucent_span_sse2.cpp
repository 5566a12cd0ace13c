// The SSE2 forms of span_draw_ztest and span_draw_ztest_mmx: the texels of a
// run of pixels are looked up first, then four pixels at a time are blended
// and kept or dropped by their depth test.
#include "soft/drawer_portable.h"
#include "soft/translucent_span.h"

#if defined(__SSE2__)
#include "soft/plan_walk.h"
#include "soft/sse2_quads.h"

namespace {

// Calls draw(first, n) for each run of at most TEXEL_RUN pixels of the plan
// after putting their texels in `run`.
template <typename RunFn>
void gather_runs(const SpanPlan* plan, const TexelAddress ta, const uint16_t* texels, const uint32_t* palette,
                 TexelRun& run, RunFn&& draw)
{
    int first = 0;
    walk_plan(plan, ta, [&](int i, uint32_t u, uint32_t v) {
        run.put(i - first, texels[ta.index(u, v)], palette);
        if (i - first == TEXEL_RUN - 1) {
            draw(first, TEXEL_RUN);
            first += TEXEL_RUN;
        }
    });
    const int rest = span_plan_pixels(plan) - first;
    if (rest > 0) {
        run.pad(rest);
        draw(first, rest);
    }
}

// blend(d, run, k, z, stored) gives the four pixels from k on; z holds their
// four depths and stored the depth buffer's values in the low half.
template <typename BlendFn>
void draw_translucent(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog, int vsize,
                      int level, const int32_t* S, const int32_t* T, BlendFn&& blend)
{
    const TexelAddress ta(ulog, vsize, level);
    TexelRun run;
    for_each_plan(plans, count, S, T, [&](const SpanPlan* plan) {
        uint32_t* const dst = plan->destination;
        const uint16_t* const depth = plan->depth_row;
        const uint32_t z = static_cast<uint32_t>(plan->depth);
        const uint32_t dz = static_cast<uint32_t>(plan->depth_step);
        const __m128i steps =
            _mm_setr_epi32(0, static_cast<int>(dz), static_cast<int>(2 * dz), static_cast<int>(3 * dz));
        gather_runs(plan, ta, texels, palette, run, [&](int first, int n) {
            for_each_quad(dst + first, depth + first, n, [&](uint32_t* pixels, const uint16_t* stored, int k) {
                const uint32_t z0 = z + static_cast<uint32_t>(first + k) * dz;
                const __m128i zs = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(z0)), steps);
                store_quad(pixels, blend(load_quad(pixels), run, k, zs, load_quad16(stored)));
            });
        });
    });
}

} // namespace

void span_draw_ztest(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog, int vsize,
                     int level, const int32_t* S, const int32_t* T)
{
    draw_translucent(plans, count, texels, palette, ulog, vsize, level, S, T,
                     [](__m128i d, const TexelRun& run, int k, __m128i z, __m128i stored) {
                         // Drawn where z >> 16 is not below the stored value, both 16-bit.
                         const __m128i below =
                             _mm_cmplt_epi32(_mm_srli_epi32(z, 16), _mm_unpacklo_epi16(stored, _mm_setzero_si128()));
                         const __m128i blended =
                             blend_half_quad(d, run.colour_quad(k), spread_quad(run.opacity_quad(k)));
                         return select_quad(below, d, blended);
                     });
}

void span_draw_ztest_mmx(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog,
                         int vsize, int level, const int32_t* S, const int32_t* T)
{
    draw_translucent(plans, count, texels, palette, ulog, vsize, level, S, T,
                     [](__m128i d, const TexelRun& run, int k, __m128i z, __m128i stored) {
                         // Dropped where stored * 65536 is greater than z, as signed numbers.
                         const __m128i behind = _mm_cmpgt_epi32(_mm_unpacklo_epi16(_mm_setzero_si128(), stored), z);
                         const __m128i blended =
                             blend_wide_quad(d, run.colour_quad(k), spread_quad(grey_weight256(run.opacity_quad(k))));
                         return select_quad(behind, d, blended);
                     });
}

#else

void span_draw_ztest(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog, int vsize,
                     int level, const int32_t* S, const int32_t* T)
{
    span_draw_ztest_portable(plans, count, texels, palette, ulog, vsize, level, S, T);
}

void span_draw_ztest_mmx(SpanPlan* plans, int count, const uint16_t* texels, const uint32_t* palette, int ulog,
                         int vsize, int level, const int32_t* S, const int32_t* T)
{
    span_draw_ztest_mmx_portable(plans, count, texels, palette, ulog, vsize, level, S, T);
}

#endif
