#pragma once
// Writes small tracker modules (IT, XM, S3M) from one description. Cells,
// notes and effects are given in each format's own numbers (an IT note is
// 0..119 with 255 off and 254 cut; an XM note 1..96 with 97 off; an S3M note
// is 0xOS, octave and semitone), so that a test states exactly what the file
// holds. Every field a format stores is written; the rest stays zero.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tools {

struct ModuleCell {
    int note = -1;        // -1: none
    int instrument = 0;   // 1-based; 0: none
    int volume = -1;      // the volume column's byte; -1: none
    int command = 0;      // IT/S3M letter number (A = 1) or XM effect number
    int param = 0;
};

struct ModulePattern {
    int rows = 64;
    std::map<std::pair<int, int>, ModuleCell> cells; // (row, channel)

    ModuleCell& at(int row, int channel) { return cells[{row, channel}]; }
};

struct ModuleEnvelope {
    bool on = false;
    bool loop = false;
    bool sustain = false;
    std::vector<std::pair<int, int>> points; // (tick, value) in the format's units
    int loop_start = 0;
    int loop_end = 0;
    int sustain_start = 0;  // XM: the sustain point
    int sustain_end = 0;
};

struct ModuleSample {
    bool bits16 = false;
    std::vector<int> frames;   // signed values of the sample width
    bool loop = false;
    bool pingpong = false;
    int loop_start = 0;
    int loop_end = 0;          // exclusive
    bool sustain = false;      // IT
    bool sustain_pingpong = false;
    int sustain_start = 0;
    int sustain_end = 0;
    uint32_t c5 = 8363;        // IT C5 speed, S3M C2 speed
    int volume = 64;
    int panning = -1;          // -1: no default panning (IT 0..64, XM 0..255)
    int global_volume = 64;    // IT
    int finetune = 0;          // XM
    int relative_note = 0;     // XM
    bool is_unsigned = false;  // the data as stored is unsigned (IT convert bit clear, S3M format 2)
    bool compressed = false;   // IT: flagged compressed (the data is written as given)
    bool stereo = false;       // flagged stereo
    int type = 1;              // S3M record type
};

struct ModuleInstrument {
    std::vector<int> samples;   // XM: the song samples of this instrument, in order
    std::vector<std::pair<int, int>> keymap; // IT: (note, sample 1-based) per note 0..119; XM: sample
                                             // within the instrument for notes 12..107
    int nna = 0;
    int dct = 0;
    int dca = 0;
    int fadeout = 0;
    int global_volume = 128;    // IT
    int panning = -1;           // IT 0..64
    ModuleEnvelope volume;
    ModuleEnvelope panning_envelope;
    ModuleEnvelope pitch;
};

struct ModuleSong {
    std::string name = "test";
    int channels = 4;
    std::vector<int> orders;
    std::vector<ModulePattern> patterns;
    std::vector<ModuleSample> samples;
    std::vector<ModuleInstrument> instruments;
    int speed = 6;
    int tempo = 125;
    int global_volume = 128;      // IT 0..128, S3M 0..64
    bool linear = true;           // IT and XM
    bool instrument_mode = true;  // IT
    bool stereo = true;
    int separation = 128;         // IT
    std::vector<int> channel_panning;  // IT 0..64 (100 surround), S3M pan table values
    std::vector<int> channel_volume;   // IT 0..64
    int it_compatible = 0x214 - 1;
    bool it_reuse = true;         // IT packing reuses remembered values
    std::vector<int> s3m_settings;     // S3M channel settings; default: channels enabled
    bool s3m_panning_table = false;
    bool s3m_short_length = false;     // S3M packed length without its own two bytes
    int s3m_flags = 0;
    int xm_version = 0x104;
};

std::vector<uint8_t> write_it(const ModuleSong& song);
std::vector<uint8_t> write_xm(const ModuleSong& song);
std::vector<uint8_t> write_s3m(const ModuleSong& song);

// Little-endian appending and patching.
class ByteSink {
public:
    void u8(int v) { out.push_back(uint8_t(v)); }
    void u16(int v)
    {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v)
    {
        u16(int(v & 0xFFFF));
        u16(int(v >> 16));
    }
    void text(const std::string& s, size_t size);
    void zeros(size_t n) { out.insert(out.end(), n, 0); }
    void pad_to(size_t multiple);
    void put16(size_t at, int v);
    void put32(size_t at, uint32_t v);
    size_t size() const { return out.size(); }

    std::vector<uint8_t> out;
};

// The sample's frames as stored: signed or unsigned, 8 or 16 bits.
std::vector<uint8_t> sample_bytes(const ModuleSample& s);

} // namespace tools
