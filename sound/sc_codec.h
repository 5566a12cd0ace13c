#pragma once
// Sample codecs: read a sound file's header into an SCSample and decode its
// frames on request. Row 0 of the table reads RIFF "WAVE" files; row 1 guesses
// the format of a headerless file and serves only a caller that names it.
#include <cstdint>

struct SCSample;

// One destination of a load: the frames of one channel, not interleaved.
// A list ends with the channel SC_END_OF_LIST.
struct SCDest {
    int32_t channel;
    void* data;
};
constexpr int32_t SC_END_OF_LIST = -1;
constexpr int SC_MAX_CHANNELS = 8;

// Results of load besides the frames loaded.
constexpr int32_t SC_TOO_MANY_CHANNELS = -1;
constexpr int32_t SC_PAST_END = -2;
constexpr int32_t SC_BAD_CHANNEL = -3;

class SCCodec {
public:
    virtual ~SCCodec() = default;
    // The record's file is open; 1 when the codec takes the file (record
    // filled), 0 when it refuses it.
    virtual int parse(SCSample* s, const uint8_t* header, int32_t length) = 0;
    // Frees what parse left in the record; 1.
    virtual int release(SCSample* s) = 0;
    // Frames first .. first+count-1 into the destinations; the frames loaded,
    // fewer on a short read, or a negative SC_* result.
    virtual int32_t load(SCSample* s, int32_t first, int32_t count, const SCDest* dests) = 0;
};

constexpr int SC_CODECS = 2;
constexpr int SC_CODEC_WAV = 0;
constexpr int SC_CODEC_BLOCK = 1;
extern SCCodec* const sc_codec_table[SC_CODECS];
