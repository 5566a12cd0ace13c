#pragma once
// One cache line of a KHeapMaxTree level (64 entries of uint8_t or 32 of
// uint16_t) in registers: the maximum, which entries are at least a value,
// and an entry changed in place before the line is stored.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__SSE2__)
// One line of entries in four SSE2 registers (written out: loops over them
// are not unrolled at -O2 and would go through the stack). Bytes compare
// and take maxima unsigned; 16-bit entries stay below 2^15 and so compare
// signed.
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
    void store(T* p) const
    {
        _mm_store_si128(reinterpret_cast<__m128i*>(p), a);
        _mm_store_si128(reinterpret_cast<__m128i*>(p) + 1, b);
        _mm_store_si128(reinterpret_cast<__m128i*>(p) + 2, c);
        _mm_store_si128(reinterpret_cast<__m128i*>(p) + 3, d);
    }

    static __m128i splat(uint32_t x)
    {
        if constexpr (sizeof(T) == 1) {
            return _mm_set1_epi8(static_cast<char>(x));
        } else {
            return _mm_set1_epi16(static_cast<short>(x));
        }
    }
    static __m128i equal(__m128i x, __m128i y) { return sizeof(T) == 1 ? _mm_cmpeq_epi8(x, y) : _mm_cmpeq_epi16(x, y); }
    static __m128i vmax(__m128i x, __m128i y) { return sizeof(T) == 1 ? _mm_max_epu8(x, y) : _mm_max_epi16(x, y); }
    static __m128i blend(__m128i here, __m128i with, __m128i v)
    {
        return _mm_or_si128(_mm_and_si128(here, with), _mm_andnot_si128(here, v));
    }

    // Without branches: the lane is found by comparing with every lane's number.
    void set(uint32_t i, T x)
    {
        const __m128i with = splat(x);
        if constexpr (sizeof(T) == 1) {
            const __m128i at = _mm_sub_epi8(splat(i), _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
            a = blend(equal(at, splat(0)), with, a);
            b = blend(equal(at, splat(16)), with, b);
            c = blend(equal(at, splat(32)), with, c);
            d = blend(equal(at, splat(48)), with, d);
        } else {
            const __m128i at = _mm_sub_epi16(splat(i), _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
            a = blend(equal(at, splat(0)), with, a);
            b = blend(equal(at, splat(8)), with, b);
            c = blend(equal(at, splat(16)), with, c);
            d = blend(equal(at, splat(24)), with, d);
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
            const __m128i w = splat(want);
            const uint64_t ma = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(a, w), a)));
            const uint64_t mb = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(b, w), b)));
            const uint64_t mc = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(c, w), c)));
            const uint64_t md = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(d, w), d)));
            return ma | mb << 16 | mc << 32 | md << 48;
        } else {
            const __m128i below = splat(want - 1u);
            const __m128i low = _mm_packs_epi16(_mm_cmpgt_epi16(a, below), _mm_cmpgt_epi16(b, below));
            const __m128i high = _mm_packs_epi16(_mm_cmpgt_epi16(c, below), _mm_cmpgt_epi16(d, below));
            return static_cast<uint16_t>(_mm_movemask_epi8(low)) | static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(high))) << 16;
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
    void store(T* p) const { std::memcpy(p, v, sizeof v); }
    void set(uint32_t i, T x) { v[i] = x; }
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
