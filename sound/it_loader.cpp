// Impulse Tracker modules ("IMPM") into ModuleData.
#include "core/print.h"
#include "sound/mod_reader.h"
#include "sound/module_loader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int32_t IT_CHANNELS = 64;
constexpr int32_t IT_MAX_ROWS = 256;
constexpr uint16_t IT_NEWEST_FORMAT = 0x213;
constexpr uint16_t IT_NEW_INSTRUMENTS = 0x200;
constexpr int IT_ENVELOPE_NODES = 25;
constexpr int32_t IT_MAX_RECORDS = 255; // cells name instruments and samples in one byte

constexpr uint16_t IT_STEREO = 0x01;
constexpr uint16_t IT_INSTRUMENTS = 0x04;
constexpr uint16_t IT_LINEAR = 0x08;

constexpr uint8_t ITS_16BIT = 0x02;
constexpr uint8_t ITS_STEREO = 0x04;
constexpr uint8_t ITS_COMPRESSED = 0x08;
constexpr uint8_t ITS_LOOP = 0x10;
constexpr uint8_t ITS_SUSTAIN = 0x20;
constexpr uint8_t ITS_PINGPONG = 0x40;
constexpr uint8_t ITS_PINGPONG_SUSTAIN = 0x80;

bool tag_is(ModReader& r, const char* tag)
{
    char got[4];
    r.bytes(got, 4);
    return r.ok() && std::memcmp(got, tag, 4) == 0;
}

// Slide parameters with two non-zero nibbles, neither F, mean nothing.
bool valid_slide(uint8_t p)
{
    const int hi = p >> 4;
    const int lo = p & 15;
    return hi == 0 || lo == 0 || hi == 15 || lo == 15;
}

// IT command letter (A = 1) and parameter into command column 2.
void translate_effect(uint8_t command, uint8_t param, ModCell& cell)
{
    static const uint8_t CODES[27] = {
        0,
        MODC_SPEED, MODC_JUMP, MODC_BREAK, MODC_VOLUME_SLIDE, MODC_PORTA_DOWN, MODC_PORTA_UP, MODC_TONE_PORTA,
        0, 0, 0, MODC_VOLUME_SLIDE2, MODC_TONE_PORTA_SLIDE, MODC_CHANNEL_VOLUME, MODC_CHANNEL_SLIDE, 0,
        MODC_PANNING_SLIDE, 0, 0, 0, MODC_TEMPO, 0, MODC_GLOBAL_VOLUME, MODC_GLOBAL_SLIDE, MODC_PANNING, 0, 0,
    };
    if (command == 0 || command > 26) {
        return;
    }
    uint8_t code = CODES[command];
    uint8_t p = param;
    switch (command) {
    case 'P' - '@':
        p = uint8_t(p >> 4 | p << 4);
        break;
    case 'S' - '@':
        if ((p >> 4) == 8) {
            code = MODC_PANNING;
            p = uint8_t((p & 15) * 17);
        }
        break;
    case 'T' - '@':
        // T0x and T1x are tempo slides, which are not played.
        if (p < 0x20) {
            code = 0;
        }
        break;
    default:
        break;
    }
    switch (code) {
    case MODC_VOLUME_SLIDE:
    case MODC_CHANNEL_SLIDE:
    case MODC_GLOBAL_SLIDE:
    case MODC_PANNING_SLIDE:
    case MODC_TONE_PORTA_SLIDE:
    case MODC_VOLUME_SLIDE2:
        if (!valid_slide(p)) {
            p = 0;
            if (code != MODC_TONE_PORTA_SLIDE && code != MODC_VOLUME_SLIDE2) {
                code = 0;
            }
        }
        break;
    default:
        break;
    }
    if (code != 0) {
        cell.command[1] = code;
        cell.param[1] = p;
    }
}

void read_envelope(ModReader& r, ModEnvelope& e, int kind)
{
    const uint8_t flags = r.u8();
    const uint8_t count = r.u8();
    e.loop_start = r.u8();
    e.loop_end = r.u8();
    e.sustain_start = r.u8();
    e.sustain_end = r.u8();
    e.flags = flags & (MODE_ON | MODE_LOOP | MODE_SUSTAIN);
    e.count = count;
    for (int i = 0; i < IT_ENVELOPE_NODES; ++i) {
        const uint8_t raw = r.u8();
        const uint16_t tick = r.u16();
        if (i >= count) {
            continue;
        }
        e.tick[i] = tick;
        e.value[i] = kind == MOD_ENV_VOLUME ? int16_t(std::min(raw * 4, 256))
                                            : int16_t(std::clamp(int8_t(raw) * 8, -256, 256));
    }
    r.u8();
    if (e.loop_end < e.loop_start || e.loop_end >= count) {
        e.flags &= uint8_t(~MODE_LOOP);
    }
    if (e.sustain_end < e.sustain_start || e.sustain_end >= count) {
        e.flags &= uint8_t(~MODE_SUSTAIN);
    }
}

void read_note_table(ModReader& r, ModInstrument& in)
{
    for (int n = 0; n < MOD_NOTES; ++n) {
        in.note_map[n] = r.u8();
        const uint8_t s = r.u8();
        in.sample_map[n] = s == 0 ? MOD_NONE : uint8_t(s - 1);
    }
}

uint8_t kept(uint8_t v, uint8_t highest)
{
    return v >= 1 && v <= highest ? v : 0;
}

bool read_instrument(ModReader& r, ModInstrument& in)
{
    if (!tag_is(r, "IMPI") || !r.skip(12) || r.u8() != 0) {
        return false;
    }
    in.new_note_action = kept(r.u8(), 3);
    in.duplicate_type = kept(r.u8(), 3);
    in.duplicate_action = kept(r.u8(), 2);
    in.fadeout = uint32_t(r.u16()) * 64;
    r.skip(2);
    in.global_volume = std::min(float(r.u8()) / 128.0f, 1.0f);
    const uint8_t panning = r.u8();
    if ((panning & 0x80) == 0) {
        in.default_panning = uint8_t(std::min(panning * 4, 255));
        in.flags |= MODI_PANNING;
    }
    r.skip(2 + 36);
    read_note_table(r, in);
    read_envelope(r, in.envelope[MOD_ENV_VOLUME], MOD_ENV_VOLUME);
    read_envelope(r, in.envelope[MOD_ENV_PANNING], MOD_ENV_PANNING);
    read_envelope(r, in.envelope[MOD_ENV_PITCH], MOD_ENV_PITCH);
    r.skip(4);
    return r.ok() && in.envelope[0].count <= IT_ENVELOPE_NODES && in.envelope[1].count <= IT_ENVELOPE_NODES &&
           in.envelope[2].count <= IT_ENVELOPE_NODES;
}

bool read_old_instrument(ModReader& r, ModInstrument& in)
{
    if (!tag_is(r, "IMPI") || !r.skip(12) || r.u8() != 0) {
        return false;
    }
    ModEnvelope& e = in.envelope[MOD_ENV_VOLUME];
    e.flags = r.u8() & (MODE_ON | MODE_LOOP | MODE_SUSTAIN);
    e.loop_start = r.u8();
    e.loop_end = r.u8();
    e.sustain_start = r.u8();
    e.sustain_end = r.u8();
    r.skip(2);
    in.fadeout = uint32_t(r.u16()) * 128;
    in.new_note_action = kept(r.u8(), 3);
    if (r.u8() != 0) {
        in.duplicate_type = MOD_DCT_NOTE;
        in.duplicate_action = MOD_DCA_CUT;
    }
    r.skip(36);
    read_note_table(r, in);
    r.skip(200);
    e.count = IT_ENVELOPE_NODES;
    for (int i = 0; i < IT_ENVELOPE_NODES; ++i) {
        const uint8_t tick = r.u8();
        const uint8_t value = r.u8();
        if (tick == 255 && e.count == IT_ENVELOPE_NODES) {
            e.count = uint8_t(i);
        }
        if (i < e.count) {
            e.tick[i] = tick;
            e.value[i] = int16_t(std::min(value * 4, 256));
        }
    }
    return r.ok();
}

int32_t period_offset(uint32_t c5)
{
    return c5 == 0 ? 0 : int32_t(768.0 * std::log2(8363.0 / double(c5)));
}

bool read_sample(ModReader& r, ModSample& s, int32_t& compressed)
{
    if (!tag_is(r, "IMPS") || !r.skip(12) || r.u8() != 0) {
        return false;
    }
    s.global_volume = std::min(float(r.u8()) / 64.0f, 1.0f);
    const uint8_t flags = r.u8();
    if ((flags & ITS_STEREO) != 0) {
        return false;
    }
    s.flags = uint8_t(((flags & ITS_16BIT) != 0 ? MODS_16BIT : 0) | ((flags & ITS_LOOP) != 0 ? MODS_LOOP : 0) |
                      ((flags & ITS_SUSTAIN) != 0 ? MODS_SUSTAIN : 0) |
                      ((flags & ITS_PINGPONG) != 0 ? MODS_PINGPONG : 0) |
                      ((flags & ITS_PINGPONG_SUSTAIN) != 0 ? MODS_PINGPONG_SUSTAIN : 0));
    if ((flags & ITS_COMPRESSED) != 0) {
        s.flags |= MODS_SILENT;
        ++compressed;
    }
    s.default_volume = std::min<uint8_t>(r.u8(), 64);
    r.skip(26);
    if ((r.u8() & 0x01) == 0) {
        s.flags |= MODS_UNSIGNED;
    }
    // Silence is signed zero.
    if ((s.flags & MODS_SILENT) != 0) {
        s.flags &= uint8_t(~MODS_UNSIGNED);
    }
    const uint8_t panning = r.u8();
    if ((panning & 0x80) != 0) {
        s.default_panning = uint8_t(std::min((panning & 0x7F) * 4, 255));
        s.flags |= MODS_PANNING;
    }
    s.length = int32_t(r.u32());
    s.loop_start = int32_t(r.u32());
    s.loop_end = int32_t(r.u32());
    s.c5 = r.u32();
    s.period_offset = period_offset(s.c5);
    s.sustain_start = int32_t(r.u32());
    s.sustain_end = int32_t(r.u32());
    s.data_pos = r.u32();
    r.skip(4);
    if (!r.ok()) {
        return false;
    }
    mod_sample_fit(s, r.size());
    return true;
}

uint8_t translate_note(uint8_t n)
{
    if (n == 255) {
        return MOD_NOTE_OFF;
    }
    if (n == 254) {
        return MOD_NOTE_CUT;
    }
    return n >= MOD_NOTES ? MOD_NOTE_FADE : n;
}

struct ChannelMemory {
    uint8_t mask = 0;
    uint8_t note = MOD_NONE;
    uint8_t instrument = MOD_NONE;
    uint8_t volume = 0xFF;
    uint8_t command = 0;
    uint8_t param = 0;
};

void put_volume(uint8_t v, ModCell& cell)
{
    if (v <= 64) {
        cell.command[0] = MODC_VOLUME;
        cell.param[0] = v;
    }
}

bool read_pattern(ModReader& r, ModTempRows& temp, ModTrackStore& store, ModPattern& pattern)
{
    const uint16_t length = r.u16();
    const uint16_t rows = r.u16();
    r.skip(4);
    if (!r.ok() || rows > IT_MAX_ROWS) {
        return false;
    }
    temp.clear(rows);
    ChannelMemory mem[IT_CHANNELS];
    r.reset_count();
    for (uint32_t row = 0; row < rows;) {
        if (r.counted() >= length) {
            return false;
        }
        const uint8_t b = r.u8();
        if (b == 0) {
            ++row;
            continue;
        }
        ChannelMemory& m = mem[(b - 1) & 63];
        if ((b & 0x80) != 0) {
            m.mask = r.u8();
        }
        ModCell cell;
        if ((m.mask & 0x01) != 0) {
            m.note = translate_note(r.u8());
        }
        if ((m.mask & 0x02) != 0) {
            const uint8_t i = r.u8();
            m.instrument = i == 0 ? MOD_NONE : uint8_t(i - 1);
        }
        if ((m.mask & 0x04) != 0) {
            m.volume = r.u8();
        }
        if ((m.mask & 0x08) != 0) {
            m.command = r.u8();
            m.param = r.u8();
        }
        if ((m.mask & 0x11) != 0) {
            cell.note = m.note;
        }
        if ((m.mask & 0x22) != 0) {
            cell.instrument = m.instrument;
        }
        if ((m.mask & 0x44) != 0) {
            put_volume(m.volume, cell);
        }
        if ((m.mask & 0x88) != 0) {
            translate_effect(m.command, m.param, cell);
        }
        if (!r.ok() || r.counted() > length) {
            return false;
        }
        temp.set(uint32_t((b - 1) & 63), row, cell);
    }
    return r.counted() == length && temp.compress(store, pattern);
}

bool read_offsets(ModReader& r, uint32_t* table, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        table[i] = r.u32();
    }
    return r.ok();
}

// Frees the loader's own tables on every way out.
struct Offsets {
    uint32_t* instruments = nullptr;
    uint32_t* samples = nullptr;
    uint32_t* patterns = nullptr;
    int32_t counts[3] = {};
    ~Offsets()
    {
        mod_delete_array(instruments, size_t(counts[0]));
        mod_delete_array(samples, size_t(counts[1]));
        mod_delete_array(patterns, size_t(counts[2]));
    }
};

} // namespace

bool it_detect(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info)
{
    uint8_t h[30];
    if (mod_file_head(stream, head, count, h, 30) < 4 || std::memcmp(h, "IMPM", 4) != 0) {
        return false;
    }
    if (info != nullptr) {
        mod_copy_name(info->name, sizeof info->name, h + 4, 26);
    }
    return true;
}

bool it_load(ModuleData& m, FileStream* stream)
{
    ModReader r(stream);
    uint8_t name[26];
    if (!r.seek(4) || !r.bytes(name, sizeof name)) {
        return false;
    }
    mod_copy_name(m.name, sizeof m.name, name, sizeof name);
    r.seek(0x20);
    const int32_t orders = r.u16();
    const int32_t file_instruments = r.u16();
    const int32_t samples = r.u16();
    const int32_t patterns = r.u16();
    r.u16();
    const uint16_t compatible = r.u16();
    const uint16_t flags = r.u16();
    r.u16();
    if (!r.ok() || samples > IT_MAX_RECORDS || file_instruments > IT_MAX_RECORDS) {
        return false;
    }
    if (compatible > IT_NEWEST_FORMAT) {
        print_format(P_ERROR, "ModPlay: IT file compatible with version %#06x; the highest supported is %#06x",
                     compatible, IT_NEWEST_FORMAT);
        return false;
    }
    if (!m.store.create(MOD_STORE_BLOCKS, MOD_STORE_CELLS, MOD_STORE_TRACKS)) {
        return false;
    }
    m.format_flags = MODF_PANNING_SLIDE_X4 | MODF_INSTRUMENT_MODE | MODF_INSTRUMENT_RETRIGGER | MODF_FINE_PORTA |
                     MODF_FINE_PANNING | MODF_FINE_VOLUME;
    if ((flags & IT_LINEAR) != 0) {
        m.format_flags |= MODF_LINEAR;
        m.min_period = 1;
        m.max_period = 7680;
    } else {
        m.min_period = 64;
        m.max_period = 32767;
    }
    const bool instrument_mode = (flags & IT_INSTRUMENTS) != 0;
    m.channels = IT_CHANNELS;
    m.order_count = orders;
    m.sample_count = samples;
    m.instrument_count = instrument_mode ? file_instruments : samples;
    m.pattern_count = patterns + 1;
    m.orders = mod_new_array<int32_t>(size_t(orders), "Orders");
    m.samples = mod_new_array<ModSample>(size_t(samples), "ModSamples");
    m.instruments = mod_new_array<ModInstrument>(size_t(m.instrument_count), "ModInstruments");
    m.initial_panning = mod_new_array<uint8_t>(IT_CHANNELS, "Initial panning");
    m.initial_volume = mod_new_array<uint8_t>(IT_CHANNELS, "IniChan. volume");
    m.patterns = mod_new_array<ModPattern>(size_t(m.pattern_count), "ModPatterns");
    if (m.orders == nullptr || m.samples == nullptr || m.instruments == nullptr || m.initial_panning == nullptr ||
        m.initial_volume == nullptr || m.patterns == nullptr) {
        return false;
    }

    const uint8_t global_volume = r.u8();
    r.u8();
    const uint8_t speed = r.u8();
    const uint8_t tempo = r.u8();
    const uint8_t separation = r.u8();
    r.skip(1 + 2 + 4 + 4);
    m.initial_global_volume = std::min<int32_t>(global_volume, 128);
    m.initial_speed = speed != 0 ? speed : 6;
    m.initial_tempo = tempo != 0 ? tempo : 125;
    m.initial_separation = ((flags & IT_STEREO) != 0 ? 1.0f : 0.0f) * float(separation) / 128.0f;
    for (int32_t c = 0; c < IT_CHANNELS; ++c) {
        const uint8_t p = r.u8() & 0x7F;
        m.initial_panning[c] = p == 100 ? 128 : uint8_t(std::min(p * 4, 255));
    }
    for (int32_t c = 0; c < IT_CHANNELS; ++c) {
        m.initial_volume[c] = std::min<uint8_t>(r.u8(), 64);
    }
    for (int32_t i = 0; i < orders; ++i) {
        const uint8_t o = r.u8();
        m.orders[i] = o == MOD_ORDER_END || o == MOD_ORDER_SKIP || o < patterns ? o : patterns;
    }
    const ModTempPattern temp = mod_temp_pattern(IT_CHANNELS, IT_MAX_ROWS);
    Offsets offsets;
    offsets.counts[0] = file_instruments;
    offsets.counts[1] = samples;
    offsets.counts[2] = m.pattern_count;
    offsets.instruments = mod_new_array<uint32_t>(size_t(file_instruments), "Instrument offsets");
    offsets.samples = mod_new_array<uint32_t>(size_t(samples), "Sample offsets");
    offsets.patterns = mod_new_array<uint32_t>(size_t(m.pattern_count), "Pattern offsets");
    if (temp == nullptr || offsets.instruments == nullptr || offsets.samples == nullptr ||
        offsets.patterns == nullptr) {
        return false;
    }
    if (!read_offsets(r, offsets.instruments, file_instruments) || !read_offsets(r, offsets.samples, samples) ||
        !read_offsets(r, offsets.patterns, patterns)) {
        return false;
    }
    offsets.patterns[patterns] = 0;

    if (instrument_mode) {
        for (int32_t i = 0; i < file_instruments; ++i) {
            if (offsets.instruments[i] == 0) {
                continue;
            }
            ModInstrument& in = m.instruments[i];
            if (!r.seek(offsets.instruments[i]) ||
                !(compatible >= IT_NEW_INSTRUMENTS ? read_instrument(r, in) : read_old_instrument(r, in))) {
                return false;
            }
        }
    } else {
        for (int32_t i = 0; i < samples; ++i) {
            m.instruments[i].map_all(uint8_t(i));
        }
    }
    int32_t compressed = 0;
    for (int32_t i = 0; i < samples; ++i) {
        if (offsets.samples[i] != 0 && (!r.seek(offsets.samples[i]) || !read_sample(r, m.samples[i], compressed))) {
            return false;
        }
    }
    if (compressed > 0) {
        print_format(P_WARNING, "ModPlay: %d compressed IT sample(s) play silent", compressed);
    }
    for (int32_t p = 0; p < m.pattern_count; ++p) {
        if (offsets.patterns[p] == 0) {
            temp->clear(64);
            if (!temp->compress(m.store, m.patterns[p])) {
                return false;
            }
        } else if (!r.seek(offsets.patterns[p]) || !read_pattern(r, *temp, m.store, m.patterns[p])) {
            return false;
        }
    }
    return true;
}

bool mod_read_sample_raw(void* destination, FileStream* stream, const ModSample& sample)
{
    const size_t bytes = size_t(sample.data_bytes());
    if ((sample.flags & MODS_SILENT) != 0) {
        std::memset(destination, 0, bytes);
        return true;
    }
    ModReader r(stream);
    return r.seek(sample.data_pos) && r.bytes(destination, bytes);
}
