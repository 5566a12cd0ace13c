#include "core/kheap_max_tree.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t LINE = 64;

#if defined(__SSE2__)
// One line of entries in four SSE2 registers (written out: loops over them
// are not unrolled at -O2 and would go through the stack). Bytes compare
// and take maxima unsigned; 16-bit entries stay below 2^15 and so compare
// signed.
template <typename T>
struct Line {
    __m128i a, b, c, d;

    explicit Line(const T* p)
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
struct Line {
    static constexpr uint32_t COUNT = 64 / sizeof(T);

    T v[COUNT];

    explicit Line(const T* p) { std::memcpy(v, p, sizeof v); }
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

uint32_t round_up(uint32_t n, uint32_t to) { return (n + to - 1) / to * to; }

} // namespace

template <typename T>
int KHeapMaxTree<T>::init(uint32_t leaves)
{
    release();
    leaves_ = leaves;
    size_t total = 0;
    uint32_t count = round_up(leaves < 1 ? 1 : leaves, FAN);
    for (;;) {
        count_[levels_++] = count;
        total += count;
        if (count <= TOP_LINES * FAN || levels_ == MAX_LEVELS) {
            break;
        }
        count = round_up(count / FAN, FAN);
    }
    // Every level is whole lines, so every line is aligned.
    storage_ = static_cast<T*>(std::aligned_alloc(LINE, total * sizeof(T)));
    if (storage_ == nullptr) {
        release();
        return 0;
    }
    std::memset(storage_, 0, total * sizeof(T));
    T* next = storage_;
    for (int l = 0; l < levels_; ++l) {
        level_[l] = next;
        next += count_[l];
    }
    return 1;
}

template <typename T>
void KHeapMaxTree<T>::release()
{
    std::free(storage_);
    storage_ = nullptr;
    for (int l = 0; l < MAX_LEVELS; ++l) {
        level_[l] = nullptr;
        count_[l] = 0;
    }
    leaves_ = 0;
    levels_ = 0;
}

template <typename T>
void KHeapMaxTree<T>::raise(uint32_t i, T v)
{
    // Every maximum above takes v or keeps its own; no line needs reading whole.
    for (int l = 0; l < levels_; ++l, i /= FAN) {
        T* const line = level_[l] + i / FAN * FAN;
        Line<T> g(line);
        const uint32_t lane = i % FAN;
        g.set(lane, line[lane] > v ? line[lane] : v);
        g.store(line);
    }
}

template <typename T>
void KHeapMaxTree<T>::set_from(int l, uint32_t i, T v)
{
    // Every maximum above is computed again, without branches on the values:
    // which ones change is as random as the sizes.
    for (; l < levels_; ++l, i /= FAN) {
        T* const line = level_[l] + i / FAN * FAN;
        Line<T> g(line);
        g.set(i % FAN, v);
        g.store(line);
        v = g.max();
    }
}

template <typename T>
void KHeapMaxTree<T>::set(uint32_t i, T v)
{
    set_from(0, i, v);
}

template <typename T>
void KHeapMaxTree<T>::set_two(uint32_t i, T vi, uint32_t j, T vj)
{
    if (i / FAN != j / FAN) {
        set_from(0, i, vi);
        set_from(0, j, vj);
        return;
    }
    // One line (the common case): one new maximum for the level above.
    T* const line = level_[0] + i / FAN * FAN;
    Line<T> g(line);
    g.set(i % FAN, vi);
    g.set(j % FAN, vj);
    g.store(line);
    set_from(1, i / FAN, g.max());
}

template <typename T>
int64_t KHeapMaxTree<T>::scan_top_up(uint32_t line, T want) const
{
    const int top = levels_ - 1;
    for (; line < count_[top] / FAN; ++line) {
        const uint64_t mask = Line<T>(level_[top] + line * FAN).at_least(want);
        if (mask != 0) {
            return line * FAN + static_cast<uint32_t>(std::countr_zero(mask));
        }
    }
    return -1;
}

template <typename T>
int64_t KHeapMaxTree<T>::scan_top_down(uint32_t line, T want) const
{
    const int top = levels_ - 1;
    for (int64_t l = line; l >= 0; --l) {
        const uint64_t mask = Line<T>(level_[top] + l * FAN).at_least(want);
        if (mask != 0) {
            return l * FAN + 63 - static_cast<uint32_t>(std::countl_zero(mask));
        }
    }
    return -1;
}

template <typename T>
int64_t KHeapMaxTree<T>::first_at_least(uint32_t from, T want) const
{
    if (from >= leaves_) {
        return -1;
    }
    const int top = levels_ - 1;
    int l = 0;
    uint32_t i = from;
    int64_t found = -1;
    if (from == 0) {
        l = top;
        found = scan_top_up(0, want);
    } else {
        // Up until a line holds a large enough entry at or after i.
        for (;; ++l) {
            const uint32_t line = i / FAN;
            if (l == top) {
                const uint64_t mask = Line<T>(level_[l] + line * FAN).at_least(want) & (~uint64_t{0} << (i % FAN));
                found = mask != 0 ? line * FAN + std::countr_zero(mask) : scan_top_up(line + 1, want);
                break;
            }
            const uint64_t mask = Line<T>(level_[l] + line * FAN).at_least(want) & (~uint64_t{0} << (i % FAN));
            if (mask != 0) {
                found = line * FAN + std::countr_zero(mask);
                break;
            }
            i = line + 1;
            if (i >= count_[l + 1]) {
                return -1;
            }
        }
    }
    if (found < 0) {
        return -1;
    }
    // Then down the first such path.
    i = static_cast<uint32_t>(found);
    while (l > 0) {
        --l;
        i = i * FAN + static_cast<uint32_t>(std::countr_zero(Line<T>(level_[l] + i * FAN).at_least(want)));
    }
    return i;
}

template <typename T>
int64_t KHeapMaxTree<T>::last_at_least(uint32_t from, T want) const
{
    if (from >= leaves_) {
        from = leaves_ - 1;
    }
    const int top = levels_ - 1;
    int l = 0;
    uint32_t i = from;
    int64_t found = -1;
    if (from == leaves_ - 1) {
        l = top;
        found = scan_top_down(count_[top] / FAN - 1, want);
    } else {
        for (;; ++l) {
            const uint32_t line = i / FAN;
            const uint64_t keep = ~uint64_t{0} >> (FAN - 1 - i % FAN) >> (64 - FAN);
            const uint64_t mask = Line<T>(level_[l] + line * FAN).at_least(want) & keep;
            if (l == top) {
                found = mask != 0 ? line * FAN + 63 - std::countl_zero(mask)
                                  : (line > 0 ? scan_top_down(line - 1, want) : -1);
                break;
            }
            if (mask != 0) {
                found = line * FAN + 63 - std::countl_zero(mask);
                break;
            }
            if (line == 0) {
                return -1;
            }
            i = line - 1;
        }
    }
    if (found < 0) {
        return -1;
    }
    i = static_cast<uint32_t>(found);
    while (l > 0) {
        --l;
        i = i * FAN + 63 - static_cast<uint32_t>(std::countl_zero(Line<T>(level_[l] + i * FAN).at_least(want)));
    }
    return i;
}

template <typename T>
bool KHeapMaxTree<T>::consistent() const
{
    for (int l = 1; l < levels_; ++l) {
        for (uint32_t i = 0; i < count_[l]; ++i) {
            const T expected = i < count_[l - 1] / FAN ? Line<T>(level_[l - 1] + i * FAN).max() : T{0};
            if (level_[l][i] != expected) {
                return false;
            }
        }
    }
    for (uint32_t i = leaves_; i < count_[0]; ++i) {
        if (level_[0][i] != 0) {
            return false;
        }
    }
    return true;
}

template class KHeapMaxTree<uint8_t>;
template class KHeapMaxTree<uint16_t>;
