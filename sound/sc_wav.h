#pragma once
// SCWav: the codec of RIFF "WAVE" files with PCM (8 or 16 bits) or IMA ADPCM
// (mono or stereo) data. Cue points give the loop. IMA ADPCM files keep their
// decoder state, a one-block cache of decoded samples, in the record.
#include "sound/sc_codec.h"

constexpr int32_t WAVE_FORMAT_PCM = 1;
constexpr int32_t WAVE_FORMAT_IMA_ADPCM = 0x11;

// The decoder state of an IMA ADPCM file.
struct SCImaState {
    int32_t block_align = 0;       // bytes per block
    int32_t samples_per_block = 0; // per channel
    int64_t block = -1;            // the block held in buffer; -1 none
    int16_t* buffer = nullptr;     // samples_per_block left samples, then right
    uint8_t* raw = nullptr;        // one block as read
};

class SCWav final : public SCCodec {
public:
    int parse(SCSample* s, const uint8_t* header, int32_t length) override;
    int release(SCSample* s) override;
    int32_t load(SCSample* s, int32_t first, int32_t count, const SCDest* dests) override;
};
