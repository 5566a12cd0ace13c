#include "soft/pixel_convert.h"

#include "core/byte_order.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

GenericParameters generic_parameters = {};
ConverterPair converter_pair = {convert_generic, convert_generic};

namespace {

// Right by a positive count, left by a negative one; counts of 32 or more clear.
inline uint32_t shift_right_signed(uint32_t v, int32_t n)
{
    if (n >= 32 || n <= -32) {
        return 0;
    }
    return n >= 0 ? v >> n : v << -n;
}

inline uint32_t generic_even(uint32_t p)
{
    uint32_t v = 0;
    for (const GenericChannel& c : generic_parameters.channel) {
        v += shift_right_signed(p & c.mask, c.even_shift);
    }
    return v;
}

inline uint32_t generic_odd(uint32_t p)
{
    uint32_t v = 0;
    for (const GenericChannel& c : generic_parameters.channel) {
        v += shift_right_signed(p & c.mask, -c.odd_shift);
    }
    return v;
}

// Offsets added to the bytes of four pixels: rows 0 and 1, positions 0..3;
// [0] for the bytes at bits 16-23 and 0-7, [1] for bits 8-15.
struct DitherTable {
    uint8_t outer[2][4];
    uint8_t middle[2][4];
};

constexpr DitherTable DITHER_565 = {{{0, 4, 1, 5}, {6, 2, 7, 3}}, {{0, 2, 0, 2}, {3, 1, 3, 1}}};
constexpr DitherTable DITHER_555 = {{{0, 4, 1, 5}, {6, 2, 7, 3}}, {{0, 4, 1, 5}, {6, 2, 7, 3}}};

// Adds the packed offsets (each at most 0x7F) to the low three bytes of p,
// each byte saturating at 0xFF.
inline uint32_t add_saturated(uint32_t p, uint32_t offsets)
{
    const uint32_t a = p & 0x00FFFFFFu;
    const uint32_t high = a & 0x00808080u;
    const uint32_t sum = (a & 0x007F7F7Fu) + offsets;
    const uint32_t overflow = sum & high;
    return (sum ^ high) | ((overflow >> 7) * 0xFFu);
}

inline uintptr_t address_of(const uint8_t* p) { return reinterpret_cast<uintptr_t>(p); }

inline const uint32_t* advance_source(const uint32_t* s, int32_t bytes)
{
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(s) + bytes);
}

// The fixed 16-bit formats: the top 5 bits of bits 16-23, the top bits of
// 8-15 and the top 5 bits of 0-7.
struct Format565 {
    static uint32_t pack(uint32_t p) { return pixel_to_565(p); }
    static constexpr int TOP_SHIFT = 8;
    static constexpr uint32_t MIDDLE_MASK = 0xFC00;
    static constexpr int MIDDLE_SHIFT = 5;
};

struct Format555 {
    static uint32_t pack(uint32_t p) { return pixel_to_555(p); }
    static constexpr int TOP_SHIFT = 9;
    static constexpr uint32_t MIDDLE_MASK = 0xF800;
    static constexpr int MIDDLE_SHIFT = 6;
};

#if defined(__SSE2__)
// Eight source pixels, each with the packed byte offsets added (saturating),
// to eight 16-bit pixels in order.
template <typename F>
inline __m128i pack_eight(const uint32_t* s, __m128i offsets)
{
    const __m128i top = _mm_set1_epi32(0xF80000);
    const __m128i middle = _mm_set1_epi32(static_cast<int>(F::MIDDLE_MASK));
    const __m128i low = _mm_set1_epi32(0xF8);
    __m128i half[2];
    for (int i = 0; i < 2; ++i) {
        const __m128i p = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i)), offsets);
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(_mm_and_si128(p, top), F::TOP_SHIFT),
                                                    _mm_srli_epi32(_mm_and_si128(p, middle), F::MIDDLE_SHIFT)),
                                       _mm_srli_epi32(_mm_and_si128(p, low), 3));
        // Sign-extend the 16-bit values so that the saturating pack keeps their bits.
        half[i] = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
    }
    return _mm_packs_epi32(half[0], half[1]);
}
#endif

template <typename F>
void convert_plain(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                   int32_t destination_skip, int32_t source_skip)
{
    for (int32_t row = 0; row < rows; ++row) {
        const uint32_t* s = source;
        uint8_t* d = destination;
        int32_t left = width;
        if (left > 0 && (address_of(d) & 3u) != 0) {
            write_le16(d, static_cast<uint16_t>(F::pack(s[0])));
            ++s;
            d += 2;
            --left;
        }
#if defined(__SSE2__)
        for (; left >= 8; left -= 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pack_eight<F>(s, _mm_setzero_si128()));
            s += 8;
            d += 16;
        }
#endif
        for (; left >= 2; left -= 2) {
            write_le32(d, F::pack(s[0]) | (F::pack(s[1]) << 16));
            s += 2;
            d += 4;
        }
        if (left > 0) {
            write_le16(d, static_cast<uint16_t>(F::pack(s[0])));
            ++s;
            d += 2;
        }
        source = advance_source(s, source_skip);
        destination = d + destination_skip;
    }
}

template <typename F>
void convert_dithered(const DitherTable& table, const uint32_t* source, uint8_t* destination, int32_t width,
                      int32_t rows, int32_t destination_skip, int32_t source_skip, int32_t dither_row)
{
    uint32_t dither = static_cast<uint32_t>(dither_row) & 3u;
    for (int32_t row = 0; row < rows; ++row) {
        const uint32_t* s = source;
        uint8_t* d = destination;
        int32_t left = width;
        while (left > 0 && (address_of(d) & 7u) != 0) {
            write_le16(d, static_cast<uint16_t>(F::pack(*s)));
            ++s;
            d += 2;
            --left;
        }
        const uint8_t* const outer = table.outer[dither & 1u];
        const uint8_t* const middle = table.middle[dither & 1u];
        uint32_t offsets[4];
        for (int i = 0; i < 4; ++i) {
            offsets[i] = static_cast<uint32_t>(outer[i]) << 16 | static_cast<uint32_t>(middle[i]) << 8 | outer[i];
        }
#if defined(__SSE2__)
        // Two groups of four at a time.
        const __m128i packed_offsets = _mm_set_epi32(static_cast<int>(offsets[3]), static_cast<int>(offsets[2]),
                                                     static_cast<int>(offsets[1]), static_cast<int>(offsets[0]));
        for (; left >= 8; left -= 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pack_eight<F>(s, packed_offsets));
            s += 8;
            d += 16;
        }
#endif
        for (; left >= 4; left -= 4) {
            uint64_t word = 0;
            for (int i = 0; i < 4; ++i) {
                word |= static_cast<uint64_t>(F::pack(add_saturated(s[i], offsets[i]))) << (16 * i);
            }
            std::memcpy(d, &word, 8);
            s += 4;
            d += 8;
        }
        for (; left > 0; --left) {
            write_le16(d, static_cast<uint16_t>(F::pack(*s)));
            ++s;
            d += 2;
        }
        source = advance_source(s, source_skip);
        destination = d + destination_skip;
        dither = (dither + 1u) & 3u;
    }
}

// Shift and width of the channel that the layout places at a bit position.
void channel_at(int32_t layout_position, const int32_t shifts[3], const int32_t widths[3], const uint8_t layout[3],
                int32_t shape[2])
{
    for (int c = 0; c < 3; ++c) {
        if (layout[c] == layout_position) {
            shape[0] = shifts[c];
            shape[1] = widths[c];
            return;
        }
    }
}

} // namespace

void channel_shape(uint32_t mask, int32_t& shift, int32_t& width)
{
    shift = 0;
    width = 0;
    if (mask == 0) {
        return;
    }
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    while ((mask & 1u) != 0) {
        mask >>= 1;
        ++width;
    }
}

void analyse_channels(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, int32_t bytes_per_pixel,
                      uint8_t rgb_layout[4])
{
    const uint32_t masks[3] = {red_mask, green_mask, blue_mask};
    int32_t shifts[3];
    int32_t widths[3];
    for (int c = 0; c < 3; ++c) {
        channel_shape(masks[c], shifts[c], widths[c]);
    }

    // The channel that lies highest in the surface pixel goes to bit 16 of
    // the frame-buffer pixel, the next to bit 8, the lowest to bit 0.
    const int32_t r = shifts[0];
    const int32_t g = shifts[1];
    const int32_t b = shifts[2];
    uint8_t layout[3];
    if (r > g) {
        if (g > b) {
            layout[0] = 16, layout[1] = 8, layout[2] = 0;
        } else if (b < r) {
            layout[0] = 16, layout[1] = 0, layout[2] = 8;
        } else {
            layout[0] = 8, layout[1] = 0, layout[2] = 16;
        }
    } else if (g > b) {
        if (b > r) {
            layout[0] = 0, layout[1] = 16, layout[2] = 8;
        } else {
            layout[0] = 8, layout[1] = 16, layout[2] = 0;
        }
    } else {
        layout[0] = 0, layout[1] = 8, layout[2] = 16;
    }
    rgb_layout[0] = layout[0];
    rgb_layout[1] = layout[1];
    rgb_layout[2] = layout[2];
    rgb_layout[3] = 24;

    // Each channel is read from the byte where the layout put it. A channel
    // wider than 8 bits gets the source's 8 bits at its top.
    for (int c = 0; c < 3; ++c) {
        int32_t width = widths[c];
        int32_t shift = shifts[c];
        if (width > 8) {
            shift += width - 8;
            width = 8;
        }
        const int32_t low = layout[c] + 8 - width;
        GenericChannel& gc = generic_parameters.channel[c];
        gc.mask = ((1u << width) - 1u) << low;
        gc.even_shift = low - shift;
        gc.odd_shift = shift + 16 - low;
    }

    if (bytes_per_pixel == 3) {
        converter_pair = {convert_generic_24, convert_generic_24};
        return;
    }
    // The fixed converters write their fields at 11/5/0 and 10/5/0; other
    // placements of the same widths go through the generic converter.
    converter_pair = {convert_generic, convert_generic};
    int32_t top[2] = {};
    int32_t middle[2] = {};
    int32_t low[2] = {};
    channel_at(16, shifts, widths, layout, top);
    channel_at(8, shifts, widths, layout, middle);
    channel_at(0, shifts, widths, layout, low);
    if (top[1] == 5 && middle[1] == 6 && low[1] == 5 && top[0] == 11 && middle[0] == 5 && low[0] == 0) {
        converter_pair = {convert_32_to_565, convert_32_to_565_mmx};
    } else if (top[1] == 5 && middle[1] == 5 && low[1] == 5 && top[0] == 10 && middle[0] == 5 && low[0] == 0) {
        converter_pair = {convert_32_to_555, convert_32_to_555_mmx};
    }
}

void convert_generic(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                     int32_t destination_skip, int32_t, int32_t)
{
    for (int32_t row = 0; row < rows; ++row) {
        uint8_t* d = destination;
        int32_t x = 0;
        for (; x + 1 < width; x += 2) {
            write_le32(d, generic_even(source[x]) + generic_odd(source[x + 1]));
            d += 4;
        }
        if (x < width) {
            write_le16(d, static_cast<uint16_t>(generic_even(source[x])));
            d += 2;
        }
        source += width > 0 ? width : 0;
        destination = d + destination_skip;
    }
}

void convert_generic_24(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                        int32_t destination_skip, int32_t, int32_t)
{
    for (int32_t row = 0; row < rows; ++row) {
        uint8_t* d = destination;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = generic_even(source[x]);
            d[0] = static_cast<uint8_t>(v);
            d[1] = static_cast<uint8_t>(v >> 8);
            d[2] = static_cast<uint8_t>(v >> 16);
            d += 3;
        }
        source += width > 0 ? width : 0;
        destination = d + destination_skip;
    }
}

void convert_32_to_565(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                       int32_t destination_skip, int32_t source_skip, int32_t)
{
    convert_plain<Format565>(source, destination, width, rows, destination_skip, source_skip);
}

void convert_32_to_555(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                       int32_t destination_skip, int32_t source_skip, int32_t)
{
    convert_plain<Format555>(source, destination, width, rows, destination_skip, source_skip);
}

void convert_32_to_565_mmx(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                           int32_t destination_skip, int32_t source_skip, int32_t dither_row)
{
    convert_dithered<Format565>(DITHER_565, source, destination, width, rows, destination_skip, source_skip,
                                   dither_row);
}

void convert_32_to_555_mmx(const uint32_t* source, uint8_t* destination, int32_t width, int32_t rows,
                           int32_t destination_skip, int32_t source_skip, int32_t dither_row)
{
    convert_dithered<Format555>(DITHER_555, source, destination, width, rows, destination_skip, source_skip,
                                   dither_row);
}
