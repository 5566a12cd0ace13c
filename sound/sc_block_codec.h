#pragma once
// SCBlockCodec: headerless mono PCM. The sample format is guessed from the
// first 32 KB: the candidate whose samples change least from one to the
// next, and whose mean lies nearest zero, wins.
#include "sound/sc_codec.h"

// Candidate formats: bit 0 16-bit, bit 1 big-endian, bit 2 unsigned.
constexpr int32_t SCB_16BIT = 0x1;
constexpr int32_t SCB_BIG_ENDIAN = 0x2;
constexpr int32_t SCB_UNSIGNED = 0x4;
constexpr int32_t SCB_GUESS_BYTES = 32768;

class SCBlockCodec final : public SCCodec {
public:
    int parse(SCSample* s, const uint8_t* header, int32_t length) override;
    int release(SCSample* s) override;
    int32_t load(SCSample* s, int32_t first, int32_t count, const SCDest* dests) override;

    // The score of one candidate over the bytes (lower is likelier).
    static double score(int32_t candidate, const uint8_t* data, int32_t bytes, int32_t preset_bytes);
};
