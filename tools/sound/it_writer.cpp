// Impulse Tracker modules from a ModuleSong.
#include "tools/sound/module_writer.h"

#include <algorithm>

namespace tools {

namespace {

void envelope(ByteSink& b, const ModuleEnvelope& e)
{
    b.u8((e.on ? 1 : 0) | (e.loop ? 2 : 0) | (e.sustain ? 4 : 0));
    b.u8(int(e.points.size()));
    b.u8(e.loop_start);
    b.u8(e.loop_end);
    b.u8(e.sustain_start);
    b.u8(e.sustain_end);
    for (size_t i = 0; i < 25; ++i) {
        if (i < e.points.size()) {
            b.u8(e.points[i].second);
            b.u16(e.points[i].first);
        } else {
            b.zeros(3);
        }
    }
    b.u8(0);
}

void keymap(ByteSink& b, const ModuleInstrument& in)
{
    int map[120][2];
    for (int n = 0; n < 120; ++n) {
        map[n][0] = n;
        map[n][1] = in.samples.empty() ? 0 : in.samples[0] + 1;
    }
    for (const auto& [note, sample] : in.keymap) {
        map[note][1] = sample;
    }
    for (auto& entry : map) {
        b.u8(entry[0]);
        b.u8(entry[1]);
    }
}

void instrument(ByteSink& b, const ModuleInstrument& in)
{
    b.text("IMPI", 4);
    b.zeros(12);
    b.u8(0);
    b.u8(in.nna);
    b.u8(in.dct);
    b.u8(in.dca);
    b.u16(in.fadeout);
    b.u8(0);
    b.u8(60);
    b.u8(in.global_volume);
    b.u8(in.panning >= 0 ? in.panning : 0x80 | 32);
    b.zeros(2 + 36);
    keymap(b, in);
    envelope(b, in.volume);
    envelope(b, in.panning_envelope);
    envelope(b, in.pitch);
    b.zeros(4);
}

void old_instrument(ByteSink& b, const ModuleInstrument& in)
{
    const ModuleEnvelope& e = in.volume;
    b.text("IMPI", 4);
    b.zeros(12);
    b.u8(0);
    b.u8((e.on ? 1 : 0) | (e.loop ? 2 : 0) | (e.sustain ? 4 : 0));
    b.u8(e.loop_start);
    b.u8(e.loop_end);
    b.u8(e.sustain_start);
    b.u8(e.sustain_end);
    b.zeros(2);
    b.u16(in.fadeout);
    b.u8(in.nna);
    b.u8(in.dct);
    b.zeros(36);
    keymap(b, in);
    b.zeros(200);
    for (size_t i = 0; i < 25; ++i) {
        if (i < e.points.size()) {
            b.u8(e.points[i].first);
            b.u8(e.points[i].second);
        } else {
            b.u8(255);
            b.u8(0);
        }
    }
}

// Returns where the data offset goes.
size_t sample_header(ByteSink& b, const ModuleSample& s)
{
    b.text("IMPS", 4);
    b.zeros(12);
    b.u8(0);
    b.u8(s.global_volume);
    b.u8((s.frames.empty() ? 0 : 1) | (s.bits16 ? 2 : 0) | (s.stereo ? 4 : 0) | (s.compressed ? 8 : 0) |
         (s.loop ? 0x10 : 0) | (s.sustain ? 0x20 : 0) | (s.pingpong ? 0x40 : 0) | (s.sustain_pingpong ? 0x80 : 0));
    b.u8(s.volume);
    b.zeros(26);
    b.u8(s.is_unsigned ? 0 : 1);
    b.u8(s.panning >= 0 ? 0x80 | s.panning : 32);
    b.u32(uint32_t(s.frames.size()));
    b.u32(uint32_t(s.loop_start));
    b.u32(uint32_t(s.loop_end));
    b.u32(s.c5);
    b.u32(uint32_t(s.sustain_start));
    b.u32(uint32_t(s.sustain_end));
    const size_t at = b.size();
    b.u32(0);
    b.zeros(4);
    return at;
}

struct Memory {
    int mask = -1;
    int note = -1;
    int instrument = -1;
    int volume = -1;
    int command = -1;
    int param = -1;
};

void pattern(ByteSink& b, const ModulePattern& p, bool reuse)
{
    ByteSink data;
    Memory mem[64];
    for (int row = 0; row < p.rows; ++row) {
        for (const auto& [where, c] : p.cells) {
            if (where.first != row) {
                continue;
            }
            Memory& m = mem[where.second & 63];
            int mask = 0;
            ByteSink fields;
            auto field = [&](bool present, int value, int& last, int bit) {
                if (!present) {
                    return;
                }
                if (reuse && value == last) {
                    mask |= bit << 4;
                    return;
                }
                mask |= bit;
                last = value;
                fields.u8(value);
            };
            field(c.note >= 0, c.note, m.note, 1);
            field(c.instrument > 0, c.instrument, m.instrument, 2);
            field(c.volume >= 0, c.volume, m.volume, 4);
            if (c.command != 0 || c.param != 0) {
                if (reuse && c.command == m.command && c.param == m.param) {
                    mask |= 0x80;
                } else {
                    mask |= 8;
                    m.command = c.command;
                    m.param = c.param;
                    fields.u8(c.command);
                    fields.u8(c.param);
                }
            }
            const bool new_mask = !reuse || mask != m.mask;
            data.u8(((where.second & 63) + 1) | (new_mask ? 0x80 : 0));
            if (new_mask) {
                data.u8(mask);
                m.mask = mask;
            }
            data.out.insert(data.out.end(), fields.out.begin(), fields.out.end());
        }
        data.u8(0);
    }
    b.u16(int(data.size()));
    b.u16(p.rows);
    b.zeros(4);
    b.out.insert(b.out.end(), data.out.begin(), data.out.end());
}

} // namespace

std::vector<uint8_t> write_it(const ModuleSong& song)
{
    ByteSink b;
    b.text("IMPM", 4);
    b.text(song.name, 26);
    b.zeros(2);
    b.u16(int(song.orders.size()));
    b.u16(int(song.instruments.size()));
    b.u16(int(song.samples.size()));
    b.u16(int(song.patterns.size()));
    b.u16(0x0214);
    b.u16(song.it_compatible);
    b.u16((song.stereo ? 1 : 0) | (song.instrument_mode ? 4 : 0) | (song.linear ? 8 : 0));
    b.u16(0);
    b.u8(song.global_volume);
    b.u8(48);
    b.u8(song.speed);
    b.u8(song.tempo);
    b.u8(song.separation);
    b.u8(0);
    b.u16(0);
    b.u32(0);
    b.u32(0);
    for (int c = 0; c < 64; ++c) {
        b.u8(c < int(song.channel_panning.size()) ? song.channel_panning[c] : 32);
    }
    for (int c = 0; c < 64; ++c) {
        b.u8(c < int(song.channel_volume.size()) ? song.channel_volume[c] : 64);
    }
    for (const int o : song.orders) {
        b.u8(o);
    }
    const size_t instrument_table = b.size();
    b.zeros(4 * song.instruments.size());
    const size_t sample_table = b.size();
    b.zeros(4 * song.samples.size());
    const size_t pattern_table = b.size();
    b.zeros(4 * song.patterns.size());

    for (size_t i = 0; i < song.instruments.size(); ++i) {
        b.put32(instrument_table + 4 * i, uint32_t(b.size()));
        if (song.it_compatible >= 0x200) {
            instrument(b, song.instruments[i]);
        } else {
            old_instrument(b, song.instruments[i]);
        }
    }
    std::vector<size_t> data_fields;
    for (size_t i = 0; i < song.samples.size(); ++i) {
        b.put32(sample_table + 4 * i, uint32_t(b.size()));
        data_fields.push_back(sample_header(b, song.samples[i]));
    }
    for (size_t i = 0; i < song.patterns.size(); ++i) {
        b.put32(pattern_table + 4 * i, uint32_t(b.size()));
        pattern(b, song.patterns[i], song.it_reuse);
    }
    for (size_t i = 0; i < song.samples.size(); ++i) {
        b.put32(data_fields[i], uint32_t(b.size()));
        const std::vector<uint8_t> data = sample_bytes(song.samples[i]);
        b.out.insert(b.out.end(), data.begin(), data.end());
    }
    return b.out;
}

} // namespace tools
