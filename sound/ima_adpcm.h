#pragma once
// IMA ADPCM blocks as RIFF "WAVE" files store them: per channel a 16-bit
// predictor (the first sample) and a step index, then 4-bit codes. Mono
// blocks hold two codes a byte, low nibble first; stereo blocks alternate
// 32-bit words of eight left and eight right codes.
#include <cstdint>

constexpr int IMA_STEPS = 89;
constexpr int32_t IMA_MIN_BLOCK_ALIGN = 16;

// Samples a block of that alignment holds per channel; 0 when such a block
// cannot be laid out (odd, too small, or stereo not a multiple of 8 bytes).
int32_t ima_samples_per_block(int32_t block_align, int32_t channels);

// Decodes one whole block into out: samples_per_block samples of the left
// (or only) channel, then as many of the right. False when a channel's step
// index is out of range; out is then incomplete.
bool ima_decode_block(const uint8_t* block, int32_t block_align, int32_t channels, int16_t* out);

// One 4-bit code applied to a channel's state; the new sample.
struct ImaState {
    int32_t predictor = 0;
    int32_t index = 0;
};
int16_t ima_decode_nibble(ImaState& state, uint32_t nibble);
