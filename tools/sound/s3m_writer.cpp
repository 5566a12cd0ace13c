// Scream Tracker 3 modules from a ModuleSong: one instrument per sample.
#include "tools/sound/module_writer.h"

namespace tools {

namespace {

void pattern(ByteSink& b, const ModulePattern& p, bool short_length)
{
    ByteSink data;
    for (int row = 0; row < 64; ++row) {
        for (const auto& [where, c] : p.cells) {
            if (where.first != row) {
                continue;
            }
            const bool note = c.note >= 0 || c.instrument > 0;
            const bool volume = c.volume >= 0;
            const bool effect = c.command != 0 || c.param != 0;
            data.u8((where.second & 31) | (note ? 0x20 : 0) | (volume ? 0x40 : 0) | (effect ? 0x80 : 0));
            if (note) {
                data.u8(c.note >= 0 ? c.note : 255);
                data.u8(c.instrument);
            }
            if (volume) {
                data.u8(c.volume);
            }
            if (effect) {
                data.u8(c.command);
                data.u8(c.param);
            }
        }
        data.u8(0);
    }
    b.u16(int(data.size()) + (short_length ? 0 : 2));
    b.out.insert(b.out.end(), data.out.begin(), data.out.end());
}

} // namespace

std::vector<uint8_t> write_s3m(const ModuleSong& song)
{
    const bool is_unsigned = song.samples.empty() || song.samples[0].is_unsigned;
    ByteSink b;
    b.text(song.name, 28);
    b.u8(0x1A);
    b.u8(0x10);
    b.zeros(2);
    b.u16(int(song.orders.size()));
    b.u16(int(song.samples.size()));
    b.u16(int(song.patterns.size()));
    b.u16(song.s3m_flags);
    b.u16(0x1320);
    b.u16(is_unsigned ? 2 : 1);
    b.text("SCRM", 4);
    b.u8(song.global_volume);
    b.u8(song.speed);
    b.u8(song.tempo);
    b.u8((song.stereo ? 0x80 : 0) | 0x30);
    b.u8(0);
    b.u8(song.s3m_panning_table ? 0xFC : 0);
    b.zeros(10);
    for (int c = 0; c < 32; ++c) {
        if (c < int(song.s3m_settings.size())) {
            b.u8(song.s3m_settings[c]);
        } else {
            b.u8(c < song.channels ? c % 16 : 0xFF);
        }
    }
    for (const int o : song.orders) {
        b.u8(o);
    }
    const size_t sample_table = b.size();
    b.zeros(2 * song.samples.size());
    const size_t pattern_table = b.size();
    b.zeros(2 * song.patterns.size());
    if (song.s3m_panning_table) {
        for (int c = 0; c < 32; ++c) {
            b.u8(c < int(song.channel_panning.size()) ? song.channel_panning[c] : 0);
        }
    }
    std::vector<size_t> data_fields;
    for (size_t i = 0; i < song.samples.size(); ++i) {
        const ModuleSample& s = song.samples[i];
        b.pad_to(16);
        b.put16(sample_table + 2 * i, int(b.size() / 16));
        b.u8(s.type);
        b.zeros(12);
        data_fields.push_back(b.size());
        b.zeros(3);
        b.u32(uint32_t(s.frames.size()));
        b.u32(uint32_t(s.loop_start));
        b.u32(uint32_t(s.loop_end));
        b.u8(s.volume);
        b.u8(0);
        b.u8(s.compressed ? 1 : 0);
        b.u8((s.loop ? 1 : 0) | (s.stereo ? 2 : 0) | (s.bits16 ? 4 : 0));
        b.u32(s.c5);
        b.zeros(12);
        b.zeros(28);
        b.text("SCRS", 4);
    }
    for (size_t i = 0; i < song.patterns.size(); ++i) {
        b.pad_to(16);
        b.put16(pattern_table + 2 * i, int(b.size() / 16));
        pattern(b, song.patterns[i], song.s3m_short_length);
    }
    for (size_t i = 0; i < song.samples.size(); ++i) {
        b.pad_to(16);
        const uint32_t para = uint32_t(b.size() / 16);
        b.out[data_fields[i]] = uint8_t(para >> 16);
        b.put16(data_fields[i] + 1, int(para & 0xFFFF));
        ModuleSample stored = song.samples[i];
        stored.is_unsigned = is_unsigned;
        const std::vector<uint8_t> data = sample_bytes(stored);
        b.out.insert(b.out.end(), data.begin(), data.end());
    }
    return b.out;
}

} // namespace tools
