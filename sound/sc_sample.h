#pragma once
// SCSample: the description of one sound file as a codec reads it. The
// sample cache keeps one per file name; the stream player fills one for the
// song it plays. Frame counts and loop points are in sample frames.
#include <cstdint>

class FileStream;
class SCCodec;
struct SDSample;

constexpr uint32_t SCSF_UNSIGNED = 0x1; // 8-bit data stored unsigned
constexpr uint32_t SCSF_LOOPED = 0x2;   // the file carries loop points
constexpr uint32_t SCSF_BIDI = 0x4;     // bidirectional loop (no codec sets it)

constexpr int32_t SC_DEFAULT_RATE = 22050;
// Longest file name kept, without its terminator: room for "sounds/" and
// the 31 characters of a name that the server sends.
constexpr int SC_NAME_MAX = 63;

struct SCSample {
    SCSample* next = nullptr;
    char name[SC_NAME_MAX + 1] = {};
    SDSample* device_sample = nullptr;
    SCCodec* codec = nullptr;
    FileStream* stream = nullptr;  // open only while the file is read
    int32_t channels = 0;          // 0 before parsing; a preset demands that count
    int32_t bytes = 0;             // bytes per decoded sample, 1 or 2
    int32_t rate = SC_DEFAULT_RATE;
    int32_t frames = 0;
    int32_t loop_start = 0;
    int32_t loop_end = 0;          // frame after the last one played
    uint32_t flags = 0;            // SCSF_*
    int32_t format = 0;            // the codec's format code
    int64_t data_offset = 0;       // file position of the first data byte
    int32_t codec_word[2] = {};    // codec-private
    void* user = nullptr;          // codec-private state
};

// Clears everything the codecs fill, the channel count too (rate back to its
// default); the name and the open file are left alone.
void sc_sample_clear(SCSample& s);
