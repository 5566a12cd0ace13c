#pragma once
// The mixer's inner arithmetic: the volume table, four resampling loops that
// add one channel into stereo 32-bit accumulators, and eight converters from
// accumulators to the output format, with clipping.
//
// Units: sample data as the loops read it is unsigned (8-bit: 128 = silence;
// 16-bit: host-order words, 32768 = silence). Positions and increments are
// fixed point with an 11-bit fraction. Accumulators are frames of two i32
// (left, right); a full-scale 8-bit sample at level 64 and master volume 1.0
// adds 2^16 times its signed value. Accumulators wrap on overflow.
#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "sample words are little-endian in memory");

constexpr int VTAB_LEVELS = 65;        // channel levels 0..64
constexpr int VTAB_COLUMNS = 256;
constexpr int VTAB_ENTRIES = VTAB_LEVELS * VTAB_COLUMNS;
constexpr int MIX_FRACTION_BITS = 11;
constexpr int32_t MIX_FRACTION_MASK = (1 << MIX_FRACTION_BITS) - 1;
// Master volumes above this are taken as this, so no table entry can overflow.
constexpr float VTAB_MAX_VOLUME = 64.0f;

// Row l, column c = trunc(volume * 1024) * l * (c - 128); a volume below
// 0.0001 (or not a number) counts as 1.0.
void vtab_build(int32_t* table, float master_volume);
// The table the loops read.
void vtab_select(const int32_t* table);
void vtab_clear();
const int32_t* vtab_current();

// Add `count` frames of one channel into acc, starting at `position` and
// stepping by `increment`; levels 0..64 choose the rows of each side. The
// interpolating forms read one sample beyond the current one.
void mix_8(int32_t* acc, const uint8_t* data, int32_t position, int32_t increment, int left, int right, int32_t count);
void mix_16(int32_t* acc, const uint16_t* data, int32_t position, int32_t increment, int left, int right,
            int32_t count);
void mix_8i(int32_t* acc, const uint8_t* data, int32_t position, int32_t increment, int left, int right,
            int32_t count);
void mix_16i(int32_t* acc, const uint16_t* data, int32_t position, int32_t increment, int left, int right,
             int32_t count);

// Accumulators to output: m mono (left accumulators only) / s stereo, 8 or
// 16 bits, s signed / u unsigned.
void clip_m8s(void* out, const int32_t* acc, int32_t frames);
void clip_s8s(void* out, const int32_t* acc, int32_t frames);
void clip_m16s(void* out, const int32_t* acc, int32_t frames);
void clip_s16s(void* out, const int32_t* acc, int32_t frames);
void clip_m8u(void* out, const int32_t* acc, int32_t frames);
void clip_s8u(void* out, const int32_t* acc, int32_t frames);
void clip_m16u(void* out, const int32_t* acc, int32_t frames);
void clip_s16u(void* out, const int32_t* acc, int32_t frames);

// Silence in an output format (SDF_16BIT, SDF_UNSIGNED bits): zero bytes
// when signed, 0x80 (8-bit) or 0x00 0x80 (16-bit) when unsigned.
void fill_silence(void* out, size_t bytes, uint32_t format_flags);

using ClipConverter = void (*)(void* out, const int32_t* acc, int32_t frames);
// Indexed by the output format flags: bit 0 stereo, bit 1 16-bit, bit 2 unsigned.
ClipConverter clip_converter(uint32_t format_flags);
