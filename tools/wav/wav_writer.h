#pragma once
// Builds RIFF "WAVE" files chunk by chunk, in any order and with any
// lengths, so that tests can describe good and damaged files alike.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct WavChunk {
    std::string id; // four characters
    std::vector<uint8_t> data;
    // Length written in the header; -1 = the data's size.
    int64_t stated_length = -1;
};

struct WavCue {
    uint32_t block_start = 0;
    uint32_t sample_offset = 0;
};

// "fmt " of PCM data.
WavChunk wav_fmt_pcm(uint16_t channels, uint32_t rate, uint16_t bits);
// "fmt " of IMA ADPCM data, with the given samples-per-block field.
WavChunk wav_fmt_ima(uint16_t channels, uint32_t rate, uint16_t block_align, uint16_t samples_per_block);
WavChunk wav_fact(uint32_t frames);
WavChunk wav_data(std::vector<uint8_t> bytes);
WavChunk wav_cue(const std::vector<WavCue>& points);

// The file: "RIFF", the length (the sum of the chunks + 4, or riff_length
// when it is not -1), "WAVE", then each chunk padded to an even length.
std::vector<uint8_t> wav_file(const std::vector<WavChunk>& chunks, int64_t riff_length = -1);

// Little-endian sample bytes.
std::vector<uint8_t> wav_samples16(const std::vector<int16_t>& samples);

// A whole PCM file of interleaved 16-bit or (unsigned) 8-bit samples.
std::vector<uint8_t> wav_pcm16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& interleaved);
std::vector<uint8_t> wav_pcm8(uint16_t channels, uint32_t rate, const std::vector<uint8_t>& interleaved);

} // namespace tools
