#pragma once
// One node of a KHeapMaxTree in two registers: 32 entries of uint8_t or 16
// of uint16_t (below 2^15), the node's largest entry and which entries are
// at least a value. Nodes are 32-byte aligned.
#include <cstdint>
#include <cstring>

constexpr uint32_t KHEAP_NODE_BYTES = 32;

#if defined(__SSE2__)
#include <emmintrin.h>

// Bytes take maxima unsigned; 16-bit entries compare signed.
template <typename T>
struct KHeapNode {
    __m128i a, b;

    explicit KHeapNode(const T* p)
        : a(_mm_load_si128(reinterpret_cast<const __m128i*>(p))),
          b(_mm_load_si128(reinterpret_cast<const __m128i*>(p) + 1))
    {
    }

    T max() const
    {
        // Shuffles fold the halves without copying registers.
        if constexpr (sizeof(T) == 1) {
            __m128i m = _mm_max_epu8(a, b);
            m = _mm_max_epu8(m, _mm_shuffle_epi32(m, 0x4E));
            m = _mm_max_epu8(m, _mm_shuffle_epi32(m, 0xB1));
            m = _mm_max_epu8(m, _mm_shufflelo_epi16(m, 0xB1));
            m = _mm_max_epu8(m, _mm_srli_epi16(m, 8));
            return static_cast<T>(_mm_cvtsi128_si32(m));
        } else {
            __m128i m = _mm_max_epi16(a, b);
            m = _mm_max_epi16(m, _mm_shuffle_epi32(m, 0x4E));
            m = _mm_max_epi16(m, _mm_shuffle_epi32(m, 0xB1));
            m = _mm_max_epi16(m, _mm_shufflelo_epi16(m, 0xB1));
            return static_cast<T>(_mm_cvtsi128_si32(m));
        }
    }

    // Which entries are at least want (at least 1), one bit each.
    uint32_t at_least(T want) const
    {
        if constexpr (sizeof(T) == 1) {
            const __m128i w = _mm_set1_epi8(static_cast<char>(want));
            const uint32_t ma = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(a, w), a)));
            const uint32_t mb = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(b, w), b)));
            return ma | mb << 16;
        } else {
            // Narrow the all-ones or zero lanes to bytes and take their top bits.
            const __m128i below = _mm_set1_epi16(static_cast<short>(want - 1));
            return static_cast<uint32_t>(
                _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpgt_epi16(a, below), _mm_cmpgt_epi16(b, below))));
        }
    }
};
#else
// The same, one entry at a time.
template <typename T>
struct KHeapNode {
    static constexpr uint32_t COUNT = KHEAP_NODE_BYTES / sizeof(T);

    T v[COUNT];

    explicit KHeapNode(const T* p) { std::memcpy(v, p, sizeof v); }

    T max() const
    {
        T m = 0;
        for (T x : v) {
            m = x > m ? x : m;
        }
        return m;
    }

    uint32_t at_least(T want) const
    {
        uint32_t mask = 0;
        for (uint32_t i = 0; i < COUNT; ++i) {
            mask |= static_cast<uint32_t>(v[i] >= want) << i;
        }
        return mask;
    }
};
#endif
