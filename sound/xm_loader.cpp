// Extended modules ("Extended Module: ") into ModuleData.
#include "sound/mod_reader.h"
#include "sound/module_loader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int32_t XM_MAX_ROWS = 256;
constexpr int32_t XM_MAX_SAMPLES = 255;
constexpr int32_t XM_MAX_INSTRUMENTS = 255; // cells name instruments in one byte
constexpr uint16_t XM_OLDEST_VERSION = 0x104;
constexpr int XM_ENVELOPE_POINTS = 12;
constexpr uint32_t XM_HEADER_BEFORE_ORDERS = 20;
constexpr uint32_t XM_PATTERN_HEADER = 9;
constexpr uint32_t XM_INSTRUMENT_HEAD = 29;     // size, name, type, sample count
constexpr uint32_t XM_INSTRUMENT_FIELDS = 241;  // up to and with the fade-out
constexpr uint32_t XM_SAMPLE_HEADER = 40;

constexpr uint8_t XMS_LOOP = 0x01;
constexpr uint8_t XMS_PINGPONG = 0x02;
constexpr uint8_t XMS_16BIT = 0x10;

constexpr uint8_t XME_ON = 0x01;
constexpr uint8_t XME_SUSTAIN = 0x02;
constexpr uint8_t XME_LOOP = 0x04;

// The nibble a volume-type slide keeps: the high one when it is set.
uint8_t one_nibble(uint8_t p)
{
    return (p & 0xF0) != 0 ? uint8_t(p & 0xF0) : uint8_t(p & 0x0F);
}

void translate_volume(uint8_t v, ModCell& cell)
{
    const uint8_t x = v & 15;
    uint8_t code = 0;
    uint8_t p = 0;
    if (v >= 0x10 && v <= 0x5F) {
        code = MODC_VOLUME;
        p = uint8_t(v - 0x10);
    } else if (v >= 0x61 && v <= 0x6F) {
        code = MODC_VOLUME_SLIDE;
        p = x;
    } else if (v >= 0x71 && v <= 0x7F) {
        code = MODC_VOLUME_SLIDE;
        p = uint8_t(x << 4);
    } else if (v >= 0x81 && v <= 0x8F) {
        code = MODC_FINE_VOLUME;
        p = x;
    } else if (v >= 0x91 && v <= 0x9F) {
        code = MODC_FINE_VOLUME;
        p = uint8_t(x << 4);
    }
    cell.command[0] = code;
    cell.param[0] = code != 0 ? p : 0;
}

void translate_effect(uint8_t e, uint8_t p, ModCell& cell)
{
    const uint8_t x = p & 15;
    uint8_t code = 0;
    switch (e) {
    case 0x1: code = MODC_PORTA_UP; break;
    case 0x2: code = MODC_PORTA_DOWN; break;
    case 0x3: code = MODC_TONE_PORTA; break;
    case 0x5: code = MODC_TONE_PORTA_SLIDE; p = one_nibble(p); break;
    case 0x6: code = MODC_VOLUME_SLIDE2; p = one_nibble(p); break;
    case 0x8: code = MODC_PANNING; break;
    case 0xA: code = MODC_VOLUME_SLIDE; p = one_nibble(p); break;
    case 0xB: code = MODC_JUMP; break;
    case 0xC: code = MODC_VOLUME; break;
    case 0xD: code = MODC_BREAK; p = uint8_t((p >> 4) * 10 + x); break;
    case 0xE:
        switch (p >> 4) {
        case 0x1: code = MODC_FINE_PORTA_UP; p = uint8_t(x * 4); break;
        case 0x2: code = MODC_FINE_PORTA_DOWN; p = uint8_t(x * 4); break;
        case 0x8: code = MODC_PANNING; p = uint8_t(x * 17); break;
        case 0xA: code = MODC_FINE_VOLUME; p = uint8_t(x << 4); break;
        case 0xB: code = MODC_FINE_VOLUME; p = x; break;
        default: break;
        }
        break;
    case 0xF: code = p < 0x20 ? MODC_SPEED : MODC_TEMPO; break;
    case 'G' - 'A' + 10: code = MODC_GLOBAL_VOLUME; p = uint8_t(std::min(p * 2, 255)); break;
    case 'H' - 'A' + 10: code = MODC_GLOBAL_SLIDE; break;
    case 'P' - 'A' + 10: code = MODC_PANNING_SLIDE; p = one_nibble(p); break;
    case 'X' - 'A' + 10:
        if ((p >> 4) == 1) {
            code = MODC_FINE_PORTA_UP;
            p = x;
        } else if ((p >> 4) == 2) {
            code = MODC_FINE_PORTA_DOWN;
            p = x;
        }
        break;
    default: break;
    }
    cell.command[1] = code;
    cell.param[1] = code != 0 ? p : 0;
}

bool read_pattern(ModReader& r, int32_t instruments, ModTempRows& temp, ModTrackStore& store, ModPattern& pattern)
{
    const uint32_t header = r.u32();
    const uint8_t packing = r.u8();
    const uint16_t rows = r.u16();
    const uint16_t packed = r.u16();
    if (!r.ok() || header != XM_PATTERN_HEADER || packing != 0 || rows > XM_MAX_ROWS) {
        return false;
    }
    // A pattern stored without data is empty, with its rows.
    temp.clear(rows);
    r.reset_count();
    for (uint32_t row = 0; row < rows && packed > 0; ++row) {
        for (uint32_t c = 0; c < temp.tracks(); ++c) {
            uint8_t what = r.u8();
            uint8_t f[5] = {};
            if ((what & 0x80) == 0) {
                f[0] = what;
                what = 0x1F & ~0x01;
            }
            for (int i = 0; i < 5; ++i) {
                if ((what & (1 << i)) != 0) {
                    f[i] = r.u8();
                }
            }
            if (!r.ok() || r.counted() > packed) {
                return false;
            }
            ModCell cell;
            if (f[0] >= 1 && f[0] <= 96) {
                cell.note = uint8_t(f[0] + 11);
            } else if (f[0] == 97) {
                cell.note = MOD_NOTE_OFF;
            }
            if (f[1] >= 1 && f[1] <= instruments) {
                cell.instrument = uint8_t(f[1] - 1);
            } else if (f[1] > instruments) {
                cell.note = MOD_NOTE_CUT;
            }
            translate_volume(f[2], cell);
            translate_effect(f[3], f[4], cell);
            temp.set(c, row, cell);
        }
    }
    return r.counted() == packed && temp.compress(store, pattern);
}

struct EnvelopeTail {
    uint8_t count;
    uint8_t sustain;
    uint8_t loop_start;
    uint8_t loop_end;
};

void finish_envelope(ModEnvelope& e, const EnvelopeTail& t, uint8_t type)
{
    e.count = std::min<uint8_t>(t.count, XM_ENVELOPE_POINTS);
    e.flags = (type & XME_ON) != 0 ? MODE_ON : 0;
    const bool loop = (type & XME_LOOP) != 0 && t.loop_start < t.loop_end;
    e.loop_start = t.loop_start;
    e.loop_end = t.loop_end;
    e.sustain_start = t.sustain;
    e.sustain_end = t.sustain;
    if (loop) {
        e.flags |= MODE_LOOP;
    }
    if ((type & XME_SUSTAIN) == 0) {
        return;
    }
    if (!loop) {
        e.flags |= MODE_SUSTAIN;
    } else if (t.loop_end >= t.sustain) {
        e.flags |= MODE_SUSTAIN;
        if (t.sustain == t.loop_end) {
            e.flags &= uint8_t(~MODE_LOOP);
            e.sustain_start = t.loop_start;
            e.sustain_end = t.loop_end;
        }
    }
}

void read_points(ModReader& r, ModEnvelope& e, bool panning)
{
    for (int i = 0; i < XM_ENVELOPE_POINTS; ++i) {
        e.tick[i] = r.u16();
        const int32_t v = r.u16();
        e.value[i] = int16_t(panning ? std::clamp((v - 32) * 8, -256, 256) : std::clamp(v * 4, 0, 256));
    }
}

int32_t c5_of(int32_t period_offset)
{
    return int32_t(8363.0 / std::exp2(double(period_offset) / 768.0));
}

// The sample's header; `bytes` receives the length of its data in the file.
bool read_sample_header(ModReader& r, ModSample& s, uint32_t& bytes)
{
    const uint32_t length = r.u32();
    bytes = length;
    const uint32_t loop_start = r.u32();
    const uint32_t loop_length = r.u32();
    s.default_volume = std::min<uint8_t>(r.u8(), 64);
    const int8_t finetune = int8_t(r.u8());
    const uint8_t type = r.u8();
    s.default_panning = r.u8();
    const int8_t relative = int8_t(r.u8());
    s.flags = MODS_PANNING;
    const int shift = (type & XMS_16BIT) != 0 ? 1 : 0;
    if (shift != 0) {
        s.flags |= MODS_16BIT;
    }
    s.length = int32_t(std::min<uint32_t>(length >> shift, INT32_MAX));
    const uint64_t end = uint64_t(loop_start) + loop_length;
    s.loop_start = int32_t(std::min<uint32_t>(loop_start >> shift, INT32_MAX));
    s.loop_end = int32_t(std::min<uint64_t>(end >> shift, INT32_MAX));
    if ((type & (XMS_LOOP | XMS_PINGPONG)) != 0 && s.loop_start < s.loop_end) {
        s.flags |= MODS_LOOP;
        if ((type & XMS_PINGPONG) != 0) {
            s.flags |= MODS_PINGPONG;
        }
    }
    s.period_offset = -(finetune / 2) - 64 * relative;
    s.c5 = uint32_t(c5_of(s.period_offset));
    return r.ok();
}

// One instrument with its sample headers; the samples go from `first` on.
bool read_instrument(ModReader& r, ModuleData& m, ModInstrument& in)
{
    const int64_t start = r.tell();
    const uint32_t size = r.u32();
    r.skip(22 + 1);
    const uint16_t samples = r.u16();
    if (!r.ok() || size < XM_INSTRUMENT_HEAD || (samples > 0 && size < XM_INSTRUMENT_FIELDS)) {
        return false;
    }
    if (samples == 0) {
        return r.seek(start + size);
    }
    const int32_t first = m.sample_count;
    if (first + samples >= XM_MAX_SAMPLES + 1) {
        return false;
    }
    const uint32_t header_size = r.u32();
    for (int n = 12; n < 108; ++n) {
        const uint8_t s = r.u8();
        in.sample_map[n] = s < samples ? uint8_t(first + s) : MOD_NONE;
    }
    read_points(r, in.envelope[MOD_ENV_VOLUME], false);
    read_points(r, in.envelope[MOD_ENV_PANNING], true);
    EnvelopeTail volume{};
    EnvelopeTail panning{};
    volume.count = r.u8();
    panning.count = r.u8();
    volume.sustain = r.u8();
    volume.loop_start = r.u8();
    volume.loop_end = r.u8();
    panning.sustain = r.u8();
    panning.loop_start = r.u8();
    panning.loop_end = r.u8();
    finish_envelope(in.envelope[MOD_ENV_VOLUME], volume, r.u8());
    finish_envelope(in.envelope[MOD_ENV_PANNING], panning, r.u8());
    r.skip(4);
    in.fadeout = uint32_t(r.u16()) * 2;
    if (!r.ok() || header_size < XM_SAMPLE_HEADER || !r.seek(start + size)) {
        return false;
    }
    uint32_t bytes[XM_MAX_SAMPLES];
    for (int32_t i = 0; i < samples; ++i) {
        if (!r.seek(start + size + int64_t(i) * header_size) ||
            !read_sample_header(r, m.samples[first + i], bytes[i])) {
            return false;
        }
    }
    // Each sample's data follows the last one's whole stored length, odd bytes included.
    int64_t data = start + size + int64_t(samples) * header_size;
    for (int32_t i = 0; i < samples; ++i) {
        ModSample& s = m.samples[first + i];
        s.data_pos = uint32_t(std::min<int64_t>(data, UINT32_MAX));
        data += bytes[i];
        mod_sample_fit(s, r.size());
    }
    m.sample_count = first + samples;
    // Data past the end of the file is cut from the samples, not refused.
    return r.seek(std::min(data, r.size()));
}

} // namespace

bool xm_detect(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info)
{
    uint8_t h[60];
    if (mod_file_head(stream, head, count, h, 60) < 60 || std::memcmp(h, "Extended Module: ", 17) != 0 ||
        h[37] != 0x1A || (h[58] | h[59] << 8) < XM_OLDEST_VERSION) {
        return false;
    }
    if (info != nullptr) {
        mod_copy_name(info->name, sizeof info->name, h + 17, 20);
    }
    return true;
}

bool xm_load(ModuleData& m, FileStream* stream)
{
    ModReader r(stream);
    uint8_t name[20];
    if (!r.seek(17) || !r.bytes(name, sizeof name) || !r.seek(60)) {
        return false;
    }
    mod_copy_name(m.name, sizeof m.name, name, sizeof name);
    const uint32_t header_size = r.u32();
    const int32_t length = r.u16();
    r.u16();
    const int32_t channels = r.u16();
    const int32_t patterns = r.u16();
    const int32_t instruments = r.u16();
    const uint16_t flags = r.u16();
    const uint16_t speed = r.u16();
    const uint16_t tempo = r.u16();
    if (!r.ok() || header_size < XM_HEADER_BEFORE_ORDERS || uint32_t(length) > header_size - XM_HEADER_BEFORE_ORDERS ||
        channels == 0 || channels > MOD_MAX_CHANNELS || instruments > XM_MAX_INSTRUMENTS) {
        return false;
    }
    if (!m.store.create(MOD_STORE_BLOCKS, MOD_STORE_CELLS, MOD_STORE_TRACKS)) {
        return false;
    }
    m.format_flags = MODF_GLOBAL_SLIDE_X2 | MODF_ENVELOPE_PER_INSTRUMENT | MODF_CUT_BY_VOLUME;
    if ((flags & 0x01) != 0) {
        m.format_flags |= MODF_LINEAR;
        m.min_period = 1;
        m.max_period = 7680;
    } else {
        m.min_period = 57;
        m.max_period = 54784;
    }
    m.initial_speed = speed != 0 ? std::min<int32_t>(speed, 255) : 6;
    m.initial_tempo = tempo != 0 ? std::min<int32_t>(tempo, 255) : 125;
    m.initial_global_volume = 128;
    m.initial_separation = 1.0f;
    m.channels = channels;
    m.order_count = length;
    m.pattern_count = patterns + 1;
    m.initial_panning = mod_new_array<uint8_t>(size_t(channels), "Initial panning");
    m.initial_volume = mod_new_array<uint8_t>(size_t(channels), "IniChan. volume");
    m.orders = mod_new_array<int32_t>(size_t(length), "Orders");
    m.patterns = mod_new_array<ModPattern>(size_t(m.pattern_count), "ModPatterns");
    const ModTempPattern temp = mod_temp_pattern(uint32_t(channels), XM_MAX_ROWS);
    if (m.initial_panning == nullptr || m.initial_volume == nullptr || m.orders == nullptr || m.patterns == nullptr ||
        temp == nullptr) {
        return false;
    }
    for (int32_t c = 0; c < channels; ++c) {
        m.initial_panning[c] = 128;
        m.initial_volume[c] = 64;
    }
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t o = r.u8();
        m.orders[i] = o < patterns ? o : patterns;
    }
    if (!r.seek(60 + int64_t(header_size))) {
        return false;
    }
    for (int32_t p = 0; p < patterns; ++p) {
        if (!read_pattern(r, instruments, *temp, m.store, m.patterns[p])) {
            return false;
        }
    }
    temp->clear(64);
    if (!temp->compress(m.store, m.patterns[patterns])) {
        return false;
    }
    m.samples = mod_new_array<ModSample>(XM_MAX_SAMPLES, "ModSamples");
    m.instrument_count = instruments;
    m.instruments = mod_new_array<ModInstrument>(size_t(instruments), "ModInstruments");
    if (m.samples == nullptr || m.instruments == nullptr) {
        return false;
    }
    m.sample_count = 0;
    for (int32_t i = 0; i < instruments; ++i) {
        if (!read_instrument(r, m, m.instruments[i])) {
            return false;
        }
    }
    return true;
}

bool xm_read_sample(void* destination, FileStream* stream, const ModSample& sample)
{
    if (!mod_read_sample_raw(destination, stream, sample)) {
        return false;
    }
    if ((sample.flags & MODS_16BIT) != 0) {
        uint8_t* const b = static_cast<uint8_t*>(destination);
        uint16_t sum = 0;
        for (int32_t i = 0; i < sample.length; ++i) {
            sum = uint16_t(sum + (b[2 * i] | b[2 * i + 1] << 8));
            b[2 * i] = uint8_t(sum);
            b[2 * i + 1] = uint8_t(sum >> 8);
        }
    } else {
        uint8_t* const b = static_cast<uint8_t*>(destination);
        uint8_t sum = 0;
        for (int32_t i = 0; i < sample.length; ++i) {
            sum = uint8_t(sum + b[i]);
            b[i] = sum;
        }
    }
    return true;
}
