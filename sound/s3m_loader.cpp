// Scream Tracker 3 modules ("SCRM") into ModuleData: one instrument per sample.
#include "sound/mod_reader.h"
#include "sound/module_loader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int32_t S3M_ROWS = 64;
constexpr int32_t S3M_CHANNELS = 32;
constexpr int32_t S3M_MAX_INSTRUMENTS = 255; // cells name instruments in one byte
constexpr uint16_t S3M_MARK = 0x101A;
constexpr uint8_t S3M_PANNING_TABLE = 0xFC;

constexpr uint16_t S3MF_AMIGA_LIMITS = 0x10;
constexpr uint16_t S3MF_FAST_SLIDES = 0x40;

constexpr uint8_t S3MS_LOOP = 0x01;
constexpr uint8_t S3MS_STEREO = 0x02;
constexpr uint8_t S3MS_16BIT = 0x04;

// Volume slides: a non-zero low nibble slides down by it, else the high one up.
uint8_t one_nibble(uint8_t p)
{
    return (p & 0x0F) != 0 ? uint8_t(p & 0x0F) : uint8_t(p & 0xF0);
}

bool fine_form(uint8_t p)
{
    const int hi = p >> 4;
    const int lo = p & 15;
    return (hi == 15 && lo != 0) || (lo == 15 && hi != 0);
}

void translate_effect(uint8_t command, uint8_t p, ModCell& cell)
{
    uint8_t code = 0;
    switch (command) {
    case 'A' - '@': code = MODC_SPEED; break;
    case 'B' - '@': code = MODC_JUMP; break;
    case 'C' - '@':
        if ((p & 15) <= 9 && (p >> 4) * 10 + (p & 15) <= 63) {
            code = MODC_BREAK;
            p = uint8_t((p >> 4) * 10 + (p & 15));
        }
        break;
    case 'D' - '@':
        code = MODC_VOLUME_SLIDE;
        if ((p >> 4) != 15 && (p & 15) != 15) {
            p = one_nibble(p);
        }
        break;
    case 'E' - '@': code = MODC_PORTA_DOWN; break;
    case 'F' - '@': code = MODC_PORTA_UP; break;
    case 'G' - '@': code = MODC_TONE_PORTA; break;
    case 'K' - '@':
    case 'L' - '@':
        if (!fine_form(p)) {
            code = command == 'K' - '@' ? MODC_VOLUME_SLIDE2 : MODC_TONE_PORTA_SLIDE;
            p = one_nibble(p);
        }
        break;
    case 'S' - '@':
        if ((p >> 4) == 8) {
            code = MODC_PANNING;
            p = uint8_t((p & 15) * 17);
        }
        break;
    case 'T' - '@':
        // Tempos below 0x20 are not tempos.
        if (p >= 0x20) {
            code = MODC_TEMPO;
        }
        break;
    case 'V' - '@': code = MODC_GLOBAL_VOLUME; p = uint8_t(std::min(p * 2, 255)); break;
    case 'X' - '@': code = MODC_PANNING; p = p < 0x80 ? uint8_t(p * 2) : 255; break;
    default: break;
    }
    cell.command[1] = code;
    cell.param[1] = code != 0 ? p : 0;
}

bool read_sample(ModReader& r, ModSample& s, ModInstrument& in, uint8_t index)
{
    const uint8_t type = r.u8();
    if (!r.ok() || type > 1) {
        return false;
    }
    if (type == 0) {
        return true;
    }
    r.skip(12);
    const uint32_t high = r.u8();
    const uint32_t low = r.u16();
    s.data_pos = 16 * (high << 16 | low);
    s.length = int32_t(std::min<uint32_t>(r.u32(), INT32_MAX));
    s.loop_start = int32_t(std::min<uint32_t>(r.u32(), INT32_MAX));
    s.loop_end = int32_t(std::min<uint32_t>(r.u32(), INT32_MAX));
    s.default_volume = std::min<uint8_t>(r.u8(), 64);
    r.u8();
    const uint8_t packing = r.u8();
    const uint8_t flags = r.u8();
    s.c5 = r.u32();
    s.period_offset = s.c5 == 0 ? 0 : int32_t(768.0 * std::log2(8363.0 / double(s.c5)));
    r.skip(12 + 28);
    char tag[4];
    r.bytes(tag, 4);
    if (!r.ok() || std::memcmp(tag, "SCRS", 4) != 0 || packing != 0 || (flags & S3MS_STEREO) != 0) {
        return false;
    }
    s.flags = uint8_t(((flags & S3MS_LOOP) != 0 ? MODS_LOOP : 0) | ((flags & S3MS_16BIT) != 0 ? MODS_16BIT : 0));
    mod_sample_fit(s, r.size());
    in.map_all(index);
    return true;
}

uint8_t translate_note(uint8_t n)
{
    if (n == MOD_NONE) {
        return MOD_NONE;
    }
    if (n >= 0xA0) {
        return MOD_NOTE_CUT;
    }
    const int note = (n & 15) + ((n >> 4) + 1) * 12;
    return note < MOD_NOTES ? uint8_t(note) : MOD_NONE;
}

bool read_pattern(ModReader& r, int32_t instruments, ModTempRows& temp, ModTrackStore& store, ModPattern& pattern)
{
    const uint16_t length = r.u16();
    if (!r.ok()) {
        return false;
    }
    if (length <= 2) {
        temp.clear(0);
        return temp.compress(store, pattern);
    }
    temp.clear(S3M_ROWS);
    r.reset_count();
    for (uint32_t row = 0; row < S3M_ROWS;) {
        const uint8_t b = r.u8();
        if (!r.ok() || r.counted() > length) {
            return false;
        }
        if (b == 0) {
            ++row;
            continue;
        }
        ModCell cell;
        if ((b & 0x20) != 0) {
            cell.note = translate_note(r.u8());
            const uint8_t i = r.u8();
            cell.instrument = i == 0 || i > instruments ? MOD_NONE : uint8_t(i - 1);
        }
        if ((b & 0x40) != 0) {
            const uint8_t v = r.u8();
            if (v <= 64) {
                cell.command[0] = MODC_VOLUME;
                cell.param[0] = v;
            }
        }
        if ((b & 0x80) != 0) {
            const uint8_t command = r.u8();
            translate_effect(command, r.u8(), cell);
        }
        if (!r.ok() || r.counted() > length) {
            return false;
        }
        if ((b & 31) < temp.tracks()) {
            temp.set(b & 31, row, cell);
        }
    }
    // The tracker's own files count the length without its two bytes.
    const int64_t data = r.counted();
    return (data + 2 == length || data == length) && temp.compress(store, pattern);
}

} // namespace

bool s3m_detect(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info)
{
    uint8_t h[48];
    if (mod_file_head(stream, head, count, h, 48) < 48 || h[28] != 0x1A || h[29] != 0x10 ||
        std::memcmp(h + 44, "SCRM", 4) != 0) {
        return false;
    }
    if (info != nullptr) {
        mod_copy_name(info->name, sizeof info->name, h, 28);
    }
    return true;
}

bool s3m_load(ModuleData& m, FileStream* stream)
{
    ModReader r(stream);
    uint8_t name[28];
    if (!r.seek(0) || !r.bytes(name, sizeof name) || r.u16() != S3M_MARK) {
        return false;
    }
    mod_copy_name(m.name, sizeof m.name, name, sizeof name);
    r.skip(2);
    const int32_t orders = r.u16();
    const int32_t instruments = r.u16();
    const int32_t patterns = r.u16();
    const uint16_t flags = r.u16();
    r.u16();
    const uint16_t sample_format = r.u16();
    if (!r.ok() || instruments > S3M_MAX_INSTRUMENTS) {
        return false;
    }
    if (!m.store.create(MOD_STORE_BLOCKS, MOD_STORE_CELLS, MOD_STORE_TRACKS)) {
        return false;
    }
    if ((flags & S3MF_AMIGA_LIMITS) != 0) {
        m.min_period = 112;
        m.max_period = 6848;
    } else {
        m.min_period = 64;
        m.max_period = 32767;
    }
    m.format_flags = MODF_FINE_PORTA | MODF_FINE_VOLUME | ((flags & S3MF_FAST_SLIDES) != 0 ? MODF_FIRST_TICK_VOLUME : 0);
    char tag[4];
    r.bytes(tag, 4);
    const uint8_t global_volume = r.u8();
    const uint8_t speed = r.u8();
    const uint8_t tempo = r.u8();
    const uint8_t master = r.u8();
    r.u8();
    const uint8_t default_panning = r.u8();
    r.skip(10);
    uint8_t settings[S3M_CHANNELS];
    if (!r.bytes(settings, sizeof settings) || std::memcmp(tag, "SCRM", 4) != 0) {
        return false;
    }
    m.initial_global_volume = std::min(global_volume * 2, 128);
    m.initial_speed = speed != 0 ? speed : 6;
    m.initial_tempo = tempo != 0 ? tempo : 125;
    m.initial_separation = (master & 0x80) != 0 ? 1.0f : 0.0f;
    for (int32_t c = 0; c < S3M_CHANNELS; ++c) {
        if (settings[c] < 0x80) {
            m.channels = c + 1;
        }
    }
    if (m.channels == 0) {
        return false;
    }
    m.order_count = orders;
    m.sample_count = instruments;
    m.instrument_count = instruments;
    m.pattern_count = patterns;
    m.orders = mod_new_array<int32_t>(size_t(orders), "Orders");
    m.samples = mod_new_array<ModSample>(size_t(instruments), "ModSamples");
    m.instruments = mod_new_array<ModInstrument>(size_t(instruments), "ModInstruments");
    m.initial_panning = mod_new_array<uint8_t>(size_t(m.channels), "Initial panning");
    m.initial_volume = mod_new_array<uint8_t>(size_t(m.channels), "IniChan. volume");
    m.patterns = mod_new_array<ModPattern>(size_t(patterns), "ModPatterns");
    if (m.orders == nullptr || m.samples == nullptr || m.instruments == nullptr || m.initial_panning == nullptr ||
        m.initial_volume == nullptr || m.patterns == nullptr) {
        return false;
    }
    for (int32_t c = 0; c < m.channels; ++c) {
        m.initial_panning[c] = c < 8 ? 51 : c < 16 ? 204 : 128;
        m.initial_volume[c] = 64;
    }
    for (int32_t i = 0; i < orders; ++i) {
        const uint8_t o = r.u8();
        m.orders[i] = o == MOD_ORDER_END || o == MOD_ORDER_SKIP || o < patterns ? o : MOD_ORDER_SKIP;
    }
    uint16_t* const instrument_at = mod_new_array<uint16_t>(size_t(instruments), "Instrument offsets");
    uint16_t* const pattern_at = mod_new_array<uint16_t>(size_t(patterns), "Pattern offsets");
    struct Release {
        uint16_t* a;
        uint16_t* b;
        int32_t na;
        int32_t nb;
        ~Release()
        {
            mod_delete_array(a, size_t(na));
            mod_delete_array(b, size_t(nb));
        }
    } release{instrument_at, pattern_at, instruments, patterns};
    if (instrument_at == nullptr || pattern_at == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < instruments; ++i) {
        instrument_at[i] = r.u16();
    }
    for (int32_t p = 0; p < patterns; ++p) {
        pattern_at[p] = r.u16();
    }
    if (default_panning == S3M_PANNING_TABLE) {
        for (int32_t c = 0; c < S3M_CHANNELS; ++c) {
            const uint8_t v = r.u8();
            if (c < m.channels && (v & 0x20) != 0) {
                m.initial_panning[c] = uint8_t((v & 15) * 17);
            }
        }
    }
    if (!r.ok()) {
        return false;
    }
    for (int32_t i = 0; i < instruments; ++i) {
        if (instrument_at[i] == 0) {
            continue;
        }
        if (!r.seek(int64_t(instrument_at[i]) * 16) ||
            !read_sample(r, m.samples[i], m.instruments[i], uint8_t(i))) {
            return false;
        }
        if (sample_format != 1) {
            m.samples[i].flags |= MODS_UNSIGNED;
        }
    }
    const ModTempPattern temp = mod_temp_pattern(uint32_t(m.channels), S3M_ROWS);
    if (temp == nullptr) {
        return false;
    }
    for (int32_t p = 0; p < patterns; ++p) {
        if (pattern_at[p] == 0) {
            temp->clear(S3M_ROWS);
            if (!temp->compress(m.store, m.patterns[p])) {
                return false;
            }
        } else if (!r.seek(int64_t(pattern_at[p]) * 16) ||
                   !read_pattern(r, instruments, *temp, m.store, m.patterns[p])) {
            return false;
        }
    }
    return true;
}
