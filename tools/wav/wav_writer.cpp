#include "tools/wav/wav_writer.h"

#include <cstring>

namespace tools {

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void put_id(std::vector<uint8_t>& b, const std::string& id)
{
    for (size_t i = 0; i < 4; ++i) {
        b.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
    }
}

} // namespace

WavChunk wav_fmt_pcm(uint16_t channels, uint32_t rate, uint16_t bits)
{
    WavChunk c{"fmt ", {}, -1};
    const uint32_t align = channels * ((bits + 7u) / 8u);
    put16(c.data, 1);
    put16(c.data, channels);
    put32(c.data, rate);
    put32(c.data, rate * align);
    put16(c.data, align);
    put16(c.data, bits);
    return c;
}

WavChunk wav_fmt_ima(uint16_t channels, uint32_t rate, uint16_t block_align, uint16_t samples_per_block)
{
    WavChunk c{"fmt ", {}, -1};
    put16(c.data, 0x11);
    put16(c.data, channels);
    put32(c.data, rate);
    put32(c.data, samples_per_block != 0 ? rate * block_align / samples_per_block : 0);
    put16(c.data, block_align);
    put16(c.data, 4);
    put16(c.data, 2);
    put16(c.data, samples_per_block);
    return c;
}

WavChunk wav_fact(uint32_t frames)
{
    WavChunk c{"fact", {}, -1};
    put32(c.data, frames);
    return c;
}

WavChunk wav_data(std::vector<uint8_t> bytes)
{
    return WavChunk{"data", std::move(bytes), -1};
}

WavChunk wav_cue(const std::vector<WavCue>& points)
{
    WavChunk c{"cue ", {}, -1};
    put32(c.data, static_cast<uint32_t>(points.size()));
    uint32_t name = 1;
    for (const WavCue& p : points) {
        put32(c.data, name++);
        put32(c.data, p.sample_offset);
        put_id(c.data, "data");
        put32(c.data, 0);
        put32(c.data, p.block_start);
        put32(c.data, p.sample_offset);
    }
    return c;
}

std::vector<uint8_t> wav_file(const std::vector<WavChunk>& chunks, int64_t riff_length)
{
    std::vector<uint8_t> body;
    for (const WavChunk& c : chunks) {
        put_id(body, c.id);
        put32(body, static_cast<uint32_t>(c.stated_length >= 0 ? c.stated_length : static_cast<int64_t>(c.data.size())));
        body.insert(body.end(), c.data.begin(), c.data.end());
        if ((c.data.size() & 1) != 0) {
            body.push_back(0);
        }
    }
    std::vector<uint8_t> file;
    put_id(file, "RIFF");
    put32(file, static_cast<uint32_t>(riff_length >= 0 ? riff_length : static_cast<int64_t>(body.size()) + 4));
    put_id(file, "WAVE");
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

std::vector<uint8_t> wav_samples16(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> b;
    b.reserve(samples.size() * 2);
    for (const int16_t s : samples) {
        put16(b, static_cast<uint16_t>(s));
    }
    return b;
}

std::vector<uint8_t> wav_pcm16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& interleaved)
{
    return wav_file({wav_fmt_pcm(channels, rate, 16), wav_data(wav_samples16(interleaved))});
}

std::vector<uint8_t> wav_pcm8(uint16_t channels, uint32_t rate, const std::vector<uint8_t>& interleaved)
{
    return wav_file({wav_fmt_pcm(channels, rate, 8), wav_data(interleaved)});
}

} // namespace tools
