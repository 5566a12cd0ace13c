// Extended modules from a ModuleSong.
#include "tools/sound/module_writer.h"

namespace tools {

namespace {

constexpr int ORDER_TABLE = 256;
constexpr int INSTRUMENT_SIZE = 263;
constexpr int SAMPLE_HEADER = 40;

void pattern(ByteSink& b, const ModulePattern& p, int channels)
{
    ByteSink data;
    for (int row = 0; row < p.rows; ++row) {
        for (int ch = 0; ch < channels; ++ch) {
            const auto it = p.cells.find({row, ch});
            const ModuleCell c = it != p.cells.end() ? it->second : ModuleCell{};
            const int f[5] = {c.note >= 0 ? c.note : 0, c.instrument, c.volume >= 0 ? c.volume : 0, c.command, c.param};
            int what = 0;
            for (int i = 0; i < 5; ++i) {
                what |= f[i] != 0 ? 1 << i : 0;
            }
            if (what == 0x1F) {
                for (const int v : f) {
                    data.u8(v);
                }
                continue;
            }
            data.u8(0x80 | what);
            for (int i = 0; i < 5; ++i) {
                if (f[i] != 0) {
                    data.u8(f[i]);
                }
            }
        }
    }
    b.u32(9);
    b.u8(0);
    b.u16(p.rows);
    b.u16(int(data.size()));
    b.out.insert(b.out.end(), data.out.begin(), data.out.end());
}

void envelope_points(ByteSink& b, const ModuleEnvelope& e)
{
    for (size_t i = 0; i < 12; ++i) {
        b.u16(i < e.points.size() ? e.points[i].first : 0);
        b.u16(i < e.points.size() ? e.points[i].second : 0);
    }
}

int envelope_type(const ModuleEnvelope& e)
{
    return (e.on ? 1 : 0) | (e.sustain ? 2 : 0) | (e.loop ? 4 : 0);
}

void instrument(ByteSink& b, const ModuleSong& song, const ModuleInstrument& in)
{
    if (in.samples.empty()) {
        b.u32(29);
        b.zeros(22);
        b.u8(0);
        b.u16(0);
        return;
    }
    const size_t start = b.size();
    b.u32(INSTRUMENT_SIZE);
    b.zeros(22);
    b.u8(0);
    b.u16(int(in.samples.size()));
    b.u32(SAMPLE_HEADER);
    int map[96] = {};
    for (const auto& [note, sample] : in.keymap) {
        map[note] = sample;
    }
    for (const int s : map) {
        b.u8(s);
    }
    envelope_points(b, in.volume);
    envelope_points(b, in.panning_envelope);
    b.u8(int(in.volume.points.size()));
    b.u8(int(in.panning_envelope.points.size()));
    b.u8(in.volume.sustain_start);
    b.u8(in.volume.loop_start);
    b.u8(in.volume.loop_end);
    b.u8(in.panning_envelope.sustain_start);
    b.u8(in.panning_envelope.loop_start);
    b.u8(in.panning_envelope.loop_end);
    b.u8(envelope_type(in.volume));
    b.u8(envelope_type(in.panning_envelope));
    b.zeros(4);
    b.u16(in.fadeout);
    while (b.size() < start + INSTRUMENT_SIZE) {
        b.u8(0);
    }
    for (const int index : in.samples) {
        const ModuleSample& s = song.samples[index];
        const int width = s.bits16 ? 2 : 1;
        b.u32(uint32_t(s.frames.size() * width));
        b.u32(uint32_t(s.loop_start * width));
        b.u32(uint32_t((s.loop_end - s.loop_start) * width));
        b.u8(s.volume);
        b.u8(s.finetune);
        b.u8((s.loop ? (s.pingpong ? 2 : 1) : 0) | (s.bits16 ? 0x10 : 0));
        b.u8(s.panning >= 0 ? s.panning : 128);
        b.u8(s.relative_note);
        b.u8(0);
        b.zeros(22);
    }
    for (const int index : in.samples) {
        const ModuleSample& s = song.samples[index];
        int last = 0;
        for (const int f : s.frames) {
            const int delta = f - last;
            last = f;
            b.u8(delta & 0xFF);
            if (s.bits16) {
                b.u8((delta >> 8) & 0xFF);
            }
        }
    }
}

} // namespace

std::vector<uint8_t> write_xm(const ModuleSong& song)
{
    ByteSink b;
    b.text("Extended Module: ", 17);
    b.text(song.name, 20);
    b.u8(0x1A);
    b.text("ostrel", 20);
    b.u16(song.xm_version);
    b.u32(20 + ORDER_TABLE);
    b.u16(int(song.orders.size()));
    b.u16(0);
    b.u16(song.channels);
    b.u16(int(song.patterns.size()));
    b.u16(int(song.instruments.size()));
    b.u16(song.linear ? 1 : 0);
    b.u16(song.speed);
    b.u16(song.tempo);
    for (int i = 0; i < ORDER_TABLE; ++i) {
        b.u8(i < int(song.orders.size()) ? song.orders[i] : 0);
    }
    for (const ModulePattern& p : song.patterns) {
        pattern(b, p, song.channels);
    }
    for (const ModuleInstrument& in : song.instruments) {
        instrument(b, song, in);
    }
    return b.out;
}

} // namespace tools
