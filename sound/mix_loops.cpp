#include "sound/mix_loops.h"

#include "core/numerics.h"
#include "sound/sound_device.h"

#include <cmath>
#include <cstring>

namespace {

const int32_t* current_table = nullptr;

// A 16-bit word through one row: high byte plus the low byte's entry / 256.
inline int32_t word_level(const int32_t* row, uint32_t w)
{
    return wrap_add(row[w >> 8], row[w & 0xFF] >> 8);
}

template <typename Fetch>
inline void mix_loop(int32_t* acc, int32_t position, int32_t increment, int left, int right, int32_t count,
                     Fetch fetch)
{
    const int32_t* const l = current_table + left * VTAB_COLUMNS;
    const int32_t* const r = current_table + right * VTAB_COLUMNS;
    uint32_t p = static_cast<uint32_t>(position);
    const uint32_t step = static_cast<uint32_t>(increment);
    for (int32_t n = 0; n < count; ++n) {
        fetch(acc, l, r, p);
        acc += 2;
        p += step;
    }
}

template <bool Stereo, bool Wide, bool Unsigned>
void clip_frames(void* out, const int32_t* acc, int32_t frames)
{
    uint8_t* o = static_cast<uint8_t*>(out);
    const int channels = Stereo ? 2 : 1;
    for (int32_t f = 0; f < frames; ++f, acc += 2) {
        for (int c = 0; c < channels; ++c) {
            if constexpr (Wide) {
                int32_t x = acc[c] >> 8;
                x = x < -32768 ? -32768 : (x > 32767 ? 32767 : x);
                const uint16_t w = static_cast<uint16_t>(Unsigned ? x + 32768 : x);
                std::memcpy(o, &w, 2);
                o += 2;
            } else {
                int32_t x = acc[c] >> 16;
                x = x < -128 ? -128 : (x > 127 ? 127 : x);
                *o++ = static_cast<uint8_t>(Unsigned ? x + 128 : x);
            }
        }
    }
}

} // namespace

void vtab_build(int32_t* table, float master_volume)
{
    float v = master_volume;
    if (!(v >= 0.0001f)) {
        v = 1.0f;
    }
    if (v > VTAB_MAX_VOLUME) {
        v = VTAB_MAX_VOLUME;
    }
    const int32_t k = float_to_int_trunc(static_cast<double>(v) * 1024.0);
    for (int l = 0; l < VTAB_LEVELS; ++l) {
        for (int c = 0; c < VTAB_COLUMNS; ++c) {
            table[l * VTAB_COLUMNS + c] = k * l * (c - 128);
        }
    }
}

void vtab_select(const int32_t* table) { current_table = table; }
void vtab_clear() { current_table = nullptr; }
const int32_t* vtab_current() { return current_table; }

void mix_8(int32_t* acc, const uint8_t* data, int32_t position, int32_t increment, int left, int right, int32_t count)
{
    mix_loop(acc, position, increment, left, right, count,
             [data](int32_t* a, const int32_t* l, const int32_t* r, uint32_t p) {
                 const uint8_t v = data[p >> MIX_FRACTION_BITS];
                 a[0] = wrap_add(a[0], l[v]);
                 a[1] = wrap_add(a[1], r[v]);
             });
}

void mix_8i(int32_t* acc, const uint8_t* data, int32_t position, int32_t increment, int left, int right,
            int32_t count)
{
    mix_loop(acc, position, increment, left, right, count,
             [data](int32_t* a, const int32_t* l, const int32_t* r, uint32_t p) {
                 const uint32_t i = p >> MIX_FRACTION_BITS;
                 const int32_t f = static_cast<int32_t>(p & MIX_FRACTION_MASK);
                 const int32_t s0 = data[i];
                 const int32_t s1 = data[i + 1];
                 const int32_t v = s0 + (((s1 - s0) * f) >> MIX_FRACTION_BITS);
                 a[0] = wrap_add(a[0], l[v]);
                 a[1] = wrap_add(a[1], r[v]);
             });
}

void mix_16(int32_t* acc, const uint16_t* data, int32_t position, int32_t increment, int left, int right,
            int32_t count)
{
    mix_loop(acc, position, increment, left, right, count,
             [data](int32_t* a, const int32_t* l, const int32_t* r, uint32_t p) {
                 const uint32_t w = data[p >> MIX_FRACTION_BITS];
                 a[0] = wrap_add(a[0], word_level(l, w));
                 a[1] = wrap_add(a[1], word_level(r, w));
             });
}

void mix_16i(int32_t* acc, const uint16_t* data, int32_t position, int32_t increment, int left, int right,
             int32_t count)
{
    mix_loop(acc, position, increment, left, right, count,
             [data](int32_t* a, const int32_t* l, const int32_t* r, uint32_t p) {
                 const uint32_t i = p >> MIX_FRACTION_BITS;
                 const int32_t f = static_cast<int32_t>(p & MIX_FRACTION_MASK);
                 const int32_t w0 = data[i];
                 const int32_t w1 = data[i + 1];
                 const uint32_t w = static_cast<uint32_t>(w0 + (((w1 - w0) * f) >> MIX_FRACTION_BITS));
                 a[0] = wrap_add(a[0], word_level(l, w));
                 a[1] = wrap_add(a[1], word_level(r, w));
             });
}

void clip_m8s(void* out, const int32_t* acc, int32_t frames) { clip_frames<false, false, false>(out, acc, frames); }
void clip_s8s(void* out, const int32_t* acc, int32_t frames) { clip_frames<true, false, false>(out, acc, frames); }
void clip_m16s(void* out, const int32_t* acc, int32_t frames) { clip_frames<false, true, false>(out, acc, frames); }
void clip_s16s(void* out, const int32_t* acc, int32_t frames) { clip_frames<true, true, false>(out, acc, frames); }
void clip_m8u(void* out, const int32_t* acc, int32_t frames) { clip_frames<false, false, true>(out, acc, frames); }
void clip_s8u(void* out, const int32_t* acc, int32_t frames) { clip_frames<true, false, true>(out, acc, frames); }
void clip_m16u(void* out, const int32_t* acc, int32_t frames) { clip_frames<false, true, true>(out, acc, frames); }
void clip_s16u(void* out, const int32_t* acc, int32_t frames) { clip_frames<true, true, true>(out, acc, frames); }

void fill_silence(void* out, size_t bytes, uint32_t format_flags)
{
    uint8_t* const o = static_cast<uint8_t*>(out);
    if ((format_flags & SDF_UNSIGNED) == 0) {
        std::memset(o, 0, bytes);
    } else if ((format_flags & SDF_16BIT) == 0) {
        std::memset(o, 0x80, bytes);
    } else {
        for (size_t i = 0; i < bytes; ++i) {
            o[i] = (i & 1) != 0 ? 0x80 : 0x00;
        }
    }
}

ClipConverter clip_converter(uint32_t format_flags)
{
    static constexpr ClipConverter table[8] = {clip_m8s, clip_s8s, clip_m16s, clip_s16s,
                                               clip_m8u, clip_s8u, clip_m16u, clip_s16u};
    return table[format_flags & 7];
}
