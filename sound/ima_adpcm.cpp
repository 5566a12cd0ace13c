#include "sound/ima_adpcm.h"

#include "core/byte_order.h"

#include <algorithm>

namespace {

constexpr int8_t index_table[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

constexpr int16_t step_table[IMA_STEPS] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// The channel header: predictor and a 16-bit step index word (index byte and
// reserved byte); a word of 89 or more cannot be decoded.
bool read_channel_header(const uint8_t* p, ImaState& state)
{
    const uint32_t word = read_le16(p + 2);
    if (word >= IMA_STEPS) {
        return false;
    }
    state.predictor = static_cast<int16_t>(read_le16(p));
    state.index = static_cast<int32_t>(word);
    return true;
}

} // namespace

int32_t ima_samples_per_block(int32_t block_align, int32_t channels)
{
    if (block_align < IMA_MIN_BLOCK_ALIGN || (block_align & 1) != 0) {
        return 0;
    }
    if (channels == 1) {
        return 2 * block_align - 7;
    }
    if (channels == 2 && block_align % 8 == 0) {
        return block_align - 7;
    }
    return 0;
}

int16_t ima_decode_nibble(ImaState& state, uint32_t nibble)
{
    const int32_t step = step_table[state.index];
    int32_t diff = step >> 3;
    if ((nibble & 4) != 0) {
        diff += step;
    }
    if ((nibble & 2) != 0) {
        diff += step >> 1;
    }
    if ((nibble & 1) != 0) {
        diff += step >> 2;
    }
    if ((nibble & 8) != 0) {
        state.predictor = std::max(state.predictor - diff, -32768);
    } else {
        state.predictor = std::min(state.predictor + diff, 32767);
    }
    state.index = std::clamp(state.index + index_table[nibble & 7], 0, IMA_STEPS - 1);
    return static_cast<int16_t>(state.predictor);
}

bool ima_decode_block(const uint8_t* block, int32_t block_align, int32_t channels, int16_t* out)
{
    const int32_t spb = ima_samples_per_block(block_align, channels);
    if (spb == 0) {
        return false;
    }
    if (channels == 1) {
        ImaState s;
        if (!read_channel_header(block, s)) {
            return false;
        }
        out[0] = static_cast<int16_t>(s.predictor);
        const uint8_t* p = block + 4;
        for (int32_t i = 1; i < spb; i += 2, ++p) {
            out[i] = ima_decode_nibble(s, *p & 0xFu);
            out[i + 1] = ima_decode_nibble(s, *p >> 4);
        }
        return true;
    }
    ImaState left;
    ImaState right;
    if (!read_channel_header(block, left) || !read_channel_header(block + 4, right)) {
        return false;
    }
    int16_t* const l = out;
    int16_t* const r = out + spb;
    l[0] = static_cast<int16_t>(left.predictor);
    r[0] = static_cast<int16_t>(right.predictor);
    const uint8_t* p = block + 8;
    for (int32_t i = 1; i < spb; i += 8, p += 8) {
        uint32_t wl = read_le32(p);
        uint32_t wr = read_le32(p + 4);
        for (int k = 0; k < 8; ++k, wl >>= 4, wr >>= 4) {
            l[i + k] = ima_decode_nibble(left, wl & 0xFu);
            r[i + k] = ima_decode_nibble(right, wr & 0xFu);
        }
    }
    return true;
}
