#pragma once
// The neutral form of a tracker module that every loader fills and the player
// reads: note cells, samples, instruments and their envelopes.
#include <cstddef>
#include <cstdint>
#include <new>

constexpr int MOD_NOTES = 120;          // notes 0..119: octave = n / 12
constexpr uint8_t MOD_NOTE_FADE = 252;
constexpr uint8_t MOD_NOTE_CUT = 253;
constexpr uint8_t MOD_NOTE_OFF = 254;
constexpr uint8_t MOD_NONE = 255;       // no note, instrument or sample

// One channel at one row; command 1 and 2 are internal effect codes.
struct ModCell {
    uint8_t note = MOD_NONE;
    uint8_t instrument = MOD_NONE;
    uint8_t command[2] = {0, 0};
    uint8_t param[2] = {0, 0};

    bool empty() const
    {
        return note == MOD_NONE && instrument == MOD_NONE && command[0] == 0 && command[1] == 0 && param[0] == 0 &&
               param[1] == 0;
    }
};
static_assert(sizeof(ModCell) == 6);

// Sample flags.
constexpr uint8_t MODS_UNSIGNED = 0x01;
constexpr uint8_t MODS_16BIT = 0x02;
constexpr uint8_t MODS_LOOP = 0x04;
constexpr uint8_t MODS_PINGPONG = 0x08;
constexpr uint8_t MODS_SUSTAIN = 0x10;
constexpr uint8_t MODS_PINGPONG_SUSTAIN = 0x20;
constexpr uint8_t MODS_PANNING = 0x40;
constexpr uint8_t MODS_SILENT = 0x80;  // the data cannot be decoded: plays as silence

struct ModSample {
    bool device_created = false;  // the player registered `device` with the sound device
    int32_t length = 0;           // frames; <= 0: no data, never plays
    int32_t loop_start = 0;
    int32_t loop_end = 0;
    int32_t sustain_start = 0;
    int32_t sustain_end = 0;
    uint8_t flags = 0;            // MODS_*
    uint32_t c5 = 8363;           // Hz of note 60
    int32_t period_offset = 0;    // added to linear periods
    float global_volume = 1.0f;
    uint8_t default_volume = 64;  // 0..64
    uint8_t default_panning = 128;
    uint32_t data_pos = 0;        // file offset of the sample data

    bool has_data() const { return length > 0; }
    // Bytes of data in the file.
    int64_t data_bytes() const { return int64_t(length) * ((flags & MODS_16BIT) != 0 ? 2 : 1); }
};

// Envelope flags.
constexpr uint8_t MODE_ON = 0x01;
constexpr uint8_t MODE_LOOP = 0x02;
constexpr uint8_t MODE_SUSTAIN = 0x04;

constexpr int MOD_ENV_NODES = 32;

// Volume values: 256 = full; panning: 256 = fully right.
struct ModEnvelope {
    uint8_t count = 0;
    uint8_t flags = 0;
    uint16_t tick[MOD_ENV_NODES] = {};
    int16_t value[MOD_ENV_NODES] = {};
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;
    uint8_t sustain_start = 0;
    uint8_t sustain_end = 0;
};

constexpr uint32_t MODI_PANNING = 0x01;

enum ModEnvKind { MOD_ENV_VOLUME = 0, MOD_ENV_PANNING = 1, MOD_ENV_PITCH = 2 };

// New-note actions, duplicate check types and actions.
constexpr uint8_t MOD_NNA_CUT = 0;
constexpr uint8_t MOD_NNA_CONTINUE = 1;
constexpr uint8_t MOD_NNA_OFF = 2;
constexpr uint8_t MOD_NNA_FADE = 3;
constexpr uint8_t MOD_DCT_OFF = 0;
constexpr uint8_t MOD_DCT_NOTE = 1;
constexpr uint8_t MOD_DCT_SAMPLE = 2;
constexpr uint8_t MOD_DCT_INSTRUMENT = 3;
constexpr uint8_t MOD_DCA_CUT = 0;
constexpr uint8_t MOD_DCA_OFF = 1;
constexpr uint8_t MOD_DCA_FADE = 2;

struct ModInstrument {
    ModInstrument();

    uint8_t sample_map[MOD_NOTES];  // sample of each note, MOD_NONE = none
    uint8_t note_map[MOD_NOTES];    // note played for each note
    uint32_t flags = 0;             // MODI_*
    ModEnvelope envelope[3];        // ModEnvKind
    uint32_t fadeout = 0;           // subtracted from a 16.16 fade level per tick
    float global_volume = 1.0f;
    uint8_t default_panning = 128;
    uint8_t new_note_action = MOD_NNA_CUT;
    uint8_t duplicate_type = MOD_DCT_OFF;
    uint8_t duplicate_action = MOD_DCA_CUT;

    // Every note plays `sample` unmapped.
    void map_all(uint8_t sample);
};

// Arrays of module records live in the engine heap under a name tag; each
// element is constructed with its defaults. Null when out of memory.
void* mod_alloc_bytes(size_t bytes, const char* tag);
void mod_free_bytes(void* p);

template <typename T>
T* mod_new_array(size_t count, const char* tag)
{
    const size_t n = count > 0 ? count : 1;
    void* const p = mod_alloc_bytes(n * sizeof(T), tag);
    if (p == nullptr) {
        return nullptr;
    }
    T* const array = static_cast<T*>(p);
    for (size_t i = 0; i < n; ++i) {
        new (&array[i]) T();
    }
    return array;
}

template <typename T>
void mod_delete_array(T*& array, size_t count)
{
    if (array == nullptr) {
        return;
    }
    const size_t n = count > 0 ? count : 1;
    for (size_t i = 0; i < n; ++i) {
        array[i].~T();
    }
    mod_free_bytes(array);
    array = nullptr;
}
