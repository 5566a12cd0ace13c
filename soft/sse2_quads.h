#pragma once
// Lane arithmetic of the SSE2 drawer forms. Four 32-bit pixels (a quad) are
// widened to two registers of eight 16-bit lanes, two pixels each with pixel
// byte k in lane k of its half, and packed back saturated to 0-255. Each
// blend gives the bytes of its byte-wise formula in byte_blend.h for every
// input, unless its comment limits the range.
#if defined(__SSE2__)
#include <cstdint>

#include <emmintrin.h>

struct QuadLanes {
    __m128i lo; // pixels 0 and 1
    __m128i hi; // pixels 2 and 3
};

inline __m128i load_quad(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store_quad(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
// Four 16-bit values.
inline __m128i load_quad16(const uint16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

inline QuadLanes widen_quad(__m128i pixels)
{
    const __m128i zero = _mm_setzero_si128();
    return QuadLanes{_mm_unpacklo_epi8(pixels, zero), _mm_unpackhi_epi8(pixels, zero)};
}

inline __m128i pack_quad(QuadLanes lanes) { return _mm_packus_epi16(lanes.lo, lanes.hi); }

// One 16-bit value per pixel (four in the low half of w) in each of the
// pixel's four lanes.
inline QuadLanes spread_quad(__m128i w)
{
    const __m128i pairs = _mm_unpacklo_epi16(w, w);
    return QuadLanes{_mm_unpacklo_epi32(pairs, pairs), _mm_unpackhi_epi32(pairs, pairs)};
}

// The same value in the four lanes of every pixel: byte k of `bytes` in lane k.
inline __m128i repeat_bytes(uint32_t bytes)
{
    return _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(bytes)), _mm_setzero_si128());
}

// a where the mask is set, b elsewhere.
inline __m128i select_quad(__m128i mask, __m128i a, __m128i b)
{
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// a + F[f][b - a] modulo 256 in each lane of bytes a and b, F[f][x] being
// floor(f * x / 256) with x read as a signed byte: lerp_bytes in lanes.
inline __m128i lerp_byte_lanes(__m128i a, __m128i b, __m128i f)
{
    const __m128i x = _mm_srai_epi16(_mm_slli_epi16(_mm_sub_epi16(b, a), 8), 8);
    const __m128i q = _mm_srai_epi16(_mm_mullo_epi16(x, f), 8);
    return _mm_and_si128(_mm_add_epi16(a, q), _mm_set1_epi16(0xFF));
}

// 2 * ((d/2 + F[w][t - d/2]) mod 256) mod 256: the half-precision blend of
// blend_half.
inline __m128i blend_half_lanes(__m128i d, __m128i t, __m128i w)
{
    const __m128i moved = lerp_byte_lanes(_mm_srli_epi16(d, 1), t, w);
    return _mm_and_si128(_mm_slli_epi16(moved, 1), _mm_set1_epi16(0xFF));
}

// The bilinear mix of four 32-bit texels a b over c d, byte by byte as
// lerp_bytes: the rows across by fa, then down by fd. `left` holds a and c,
// `right` b and d, one byte a lane; the four bytes come in the low lanes.
inline __m128i bilinear_lanes(__m128i left, __m128i right, uint32_t fa, uint32_t fd)
{
    const __m128i rows = lerp_byte_lanes(left, right, _mm_set1_epi16(static_cast<short>(fa)));
    return lerp_byte_lanes(rows, _mm_unpackhi_epi64(rows, rows), _mm_set1_epi16(static_cast<short>(fd)));
}

// d + floor((2p - d) * g / 128) for g of at most 127, given as g * 256; the
// pack saturates it as blend_wide does.
inline __m128i blend_wide_lanes(__m128i d, __m128i p, __m128i g256)
{
    const __m128i diff = _mm_sub_epi16(_mm_add_epi16(p, p), d);
    return _mm_add_epi16(d, _mm_mulhi_epi16(_mm_add_epi16(diff, diff), g256));
}

inline __m128i blend_half_quad(__m128i d, __m128i t, QuadLanes w)
{
    const QuadLanes dl = widen_quad(d);
    const QuadLanes tl = widen_quad(t);
    return pack_quad(QuadLanes{blend_half_lanes(dl.lo, tl.lo, w.lo), blend_half_lanes(dl.hi, tl.hi, w.hi)});
}

inline __m128i blend_wide_quad(__m128i d, __m128i p, QuadLanes g256)
{
    const QuadLanes dl = widen_quad(d);
    const QuadLanes pl = widen_quad(p);
    return pack_quad(QuadLanes{blend_wide_lanes(dl.lo, pl.lo, g256.lo), blend_wide_lanes(dl.hi, pl.hi, g256.hi)});
}

// grey_weight_table's (127 * a) >> 8 of four opacities, times 256.
inline __m128i grey_weight256(__m128i opacity)
{
    return _mm_slli_epi16(_mm_srli_epi16(_mm_mullo_epi16(opacity, _mm_set1_epi16(127)), 8), 8);
}

// Palette colours and opacities of a run of pixels whose 16-bit texels (low
// byte palette index, high byte opacity) have been looked up, for the
// blending drawers that read them four at a time.
constexpr int TEXEL_RUN = 128;

struct TexelRun {
    alignas(16) uint32_t colours[TEXEL_RUN];
    alignas(16) uint16_t opacity[TEXEL_RUN];

    void put(int k, uint16_t texel, const uint32_t* palette)
    {
        colours[k] = palette[texel & 0xFF];
        opacity[k] = static_cast<uint16_t>(texel >> 8);
    }
    // Clears the entries behind the first n up to a whole quad, which a last,
    // partial quad reads.
    void pad(int n)
    {
        for (int k = n; k % 4 != 0; ++k) {
            colours[k] = 0;
            opacity[k] = 0;
        }
    }
    __m128i colour_quad(int k) const { return load_quad(colours + k); }
    __m128i opacity_quad(int k) const { return load_quad16(opacity + k); }
};

// Calls quad(pixels, depth, k) for pixels k to k + 3 of a run of n pixels
// (depth may be null). A last, partial quad works on copies, so that nothing
// past the run is read or written.
template <typename QuadFn>
inline void for_each_quad(uint32_t* pixels, const uint16_t* depth, int n, QuadFn&& quad)
{
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        quad(pixels + k, depth != nullptr ? depth + k : nullptr, k);
    }
    const int rest = n - k;
    if (rest > 0) {
        // At most three pixels, copied by a loop of fixed length so that it
        // does not become a call of memcpy, whose start costs more than a
        // short span.
        uint32_t tail[4] = {};
        uint16_t tail_depth[4] = {};
        for (int j = 0; j < 3; ++j) {
            if (j < rest) {
                tail[j] = pixels[k + j];
                tail_depth[j] = depth != nullptr ? depth[k + j] : 0;
            }
        }
        quad(tail, depth != nullptr ? tail_depth : nullptr, k);
        for (int j = 0; j < 3; ++j) {
            if (j < rest) {
                pixels[k + j] = tail[j];
            }
        }
    }
}
#endif
