#pragma once
// One cache line of a KHeapMaxTree level in registers: 64 entries of
// uint8_t or 32 of uint16_t (below 2^15), the line's largest entry and which
// entries are at least a value. Lines are 64-byte aligned.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>

// Four SSE2 registers, written out: loops over them are not unrolled at -O2
// and would go through the stack. Bytes take maxima unsigned; 16-bit entries
// compare signed.
template <typename T>
struct KHeapLine {
    __m128i a, b, c, d;

    explicit KHeapLine(const T* p)
        : a(_mm_load_si128(reinterpret_cast<const __m128i*>(p))),
          b(_mm_load_si128(reinterpret_cast<const __m128i*>(p) + 1)),
          c(_mm_load_si128(reinterpret_cast<const __m128i*>(p) + 2)),
          d(_mm_load_si128(reinterpret_cast<const __m128i*>(p) + 3))
    {
    }

    static __m128i vmax(__m128i x, __m128i y)
    {
        if constexpr (sizeof(T) == 1) {
            return _mm_max_epu8(x, y);
        } else {
            return _mm_max_epi16(x, y);
        }
    }

    T max() const
    {
        __m128i m = vmax(vmax(a, b), vmax(c, d));
        m = vmax(m, _mm_srli_si128(m, 8));
        m = vmax(m, _mm_srli_si128(m, 4));
        m = vmax(m, _mm_srli_si128(m, 2));
        if constexpr (sizeof(T) == 1) {
            m = vmax(m, _mm_srli_si128(m, 1));
        }
        return static_cast<T>(_mm_cvtsi128_si32(m));
    }

    // Which entries are at least want (at least 1), one bit each.
    uint64_t at_least(T want) const
    {
        if constexpr (sizeof(T) == 1) {
            const __m128i w = _mm_set1_epi8(static_cast<char>(want));
            const uint64_t ma = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(a, w), a)));
            const uint64_t mb = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(b, w), b)));
            const uint64_t mc = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(c, w), c)));
            const uint64_t md = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(d, w), d)));
            return ma | mb << 16 | mc << 32 | md << 48;
        } else {
            // Narrow the all-ones or zero lanes to bytes and take their top bits.
            const __m128i below = _mm_set1_epi16(static_cast<short>(want - 1));
            const __m128i low = _mm_packs_epi16(_mm_cmpgt_epi16(a, below), _mm_cmpgt_epi16(b, below));
            const __m128i high = _mm_packs_epi16(_mm_cmpgt_epi16(c, below), _mm_cmpgt_epi16(d, below));
            return static_cast<uint16_t>(_mm_movemask_epi8(low)) |
                   static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(high))) << 16;
        }
    }
};
#else
// The same, one entry at a time.
template <typename T>
struct KHeapLine {
    static constexpr uint32_t COUNT = 64 / sizeof(T);

    T v[COUNT];

    explicit KHeapLine(const T* p) { std::memcpy(v, p, sizeof v); }

    T max() const
    {
        T m = 0;
        for (T x : v) {
            m = x > m ? x : m;
        }
        return m;
    }

    uint64_t at_least(T want) const
    {
        uint64_t mask = 0;
        for (uint32_t i = 0; i < COUNT; ++i) {
            mask |= static_cast<uint64_t>(v[i] >= want) << i;
        }
        return mask;
    }
};
#endif
