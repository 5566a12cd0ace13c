#pragma once
// ModuleData: one loaded module as the loaders fill it and the player reads
// it: the song header, the order list, the patterns in their track store,
// samples and instruments. Every array lives in the engine heap.
#include "sound/mod_track_store.h"
#include "sound/module_data.h"

#include <cstdint>

// Format flags: how the player treats the effects of one file format.
constexpr uint32_t MODF_FIRST_TICK_VOLUME = 0x0001;   // volume-type slides act on the first tick too
constexpr uint32_t MODF_FIRST_TICK_PANNING = 0x0002;
constexpr uint32_t MODF_FIRST_TICK_PORTA = 0x0004;
constexpr uint32_t MODF_FINE_VOLUME = 0x0010;         // xF / Fx volume-type slides are fine
constexpr uint32_t MODF_FINE_PANNING = 0x0020;
constexpr uint32_t MODF_FINE_PORTA = 0x0040;          // F0-FF fine x4, E0-EF extra fine
constexpr uint32_t MODF_INSTRUMENT_RETRIGGER = 0x0080;
constexpr uint32_t MODF_INSTRUMENT_MODE = 0x0100;
constexpr uint32_t MODF_CUT_BY_VOLUME = 0x0200;
constexpr uint32_t MODF_ENVELOPE_PER_INSTRUMENT = 0x0400;
constexpr uint32_t MODF_GLOBAL_SLIDE_X2 = 0x1000;
constexpr uint32_t MODF_PANNING_SLIDE_X4 = 0x2000;
constexpr uint32_t MODF_LINEAR = 0x4000;

// Internal effect codes of the command columns.
constexpr uint8_t MODC_SPEED = 0x01;
constexpr uint8_t MODC_TEMPO = 0x02;
constexpr uint8_t MODC_BREAK = 0x03;
constexpr uint8_t MODC_JUMP = 0x04;
constexpr uint8_t MODC_VOLUME = 0x20;
constexpr uint8_t MODC_VOLUME_SLIDE = 0x21;
constexpr uint8_t MODC_FINE_VOLUME = 0x22;
constexpr uint8_t MODC_CHANNEL_VOLUME = 0x23;
constexpr uint8_t MODC_CHANNEL_SLIDE = 0x24;
constexpr uint8_t MODC_GLOBAL_VOLUME = 0x25;
constexpr uint8_t MODC_GLOBAL_SLIDE = 0x26;
constexpr uint8_t MODC_PANNING = 0x30;
constexpr uint8_t MODC_PANNING_SLIDE = 0x31;
constexpr uint8_t MODC_PORTA_UP = 0x40;
constexpr uint8_t MODC_PORTA_DOWN = 0x41;
constexpr uint8_t MODC_FINE_PORTA_UP = 0x42;
constexpr uint8_t MODC_FINE_PORTA_DOWN = 0x43;
constexpr uint8_t MODC_TONE_PORTA = 0x44;
constexpr uint8_t MODC_TONE_PORTA_SLIDE = 0x60;
constexpr uint8_t MODC_VOLUME_SLIDE2 = 0x61;

constexpr int MOD_NAME_SIZE = 32;       // the longest stored name (28) and its NUL
constexpr int32_t MOD_MAX_CHANNELS = 255; // a pattern holds at most 255 tracks
constexpr uint32_t MOD_ORDER_END = 255;   // ends the song
constexpr uint32_t MOD_ORDER_SKIP = 254;

struct ModuleData {
    ModuleData() = default;
    ~ModuleData() { free(); }
    ModuleData(const ModuleData&) = delete;
    ModuleData& operator=(const ModuleData&) = delete;

    // Frees every array and resets the header to its defaults.
    void free();

    // An order entry that names a pattern with rows.
    bool playable(int32_t order) const;
    const ModSample* sample(uint32_t index) const { return index < uint32_t(sample_count) ? &samples[index] : nullptr; }
    const ModInstrument* instrument(uint32_t index) const
    {
        return index < uint32_t(instrument_count) ? &instruments[index] : nullptr;
    }

    char name[MOD_NAME_SIZE] = {};
    uint32_t format_flags = 0;          // MODF_*
    int32_t min_period = 1;
    int32_t max_period = 2;
    int32_t channels = 0;

    ModTrackStore store;
    int32_t pattern_count = 0;
    ModPattern* patterns = nullptr;
    int32_t order_count = 0;
    int32_t* orders = nullptr;          // pattern numbers; MOD_ORDER_END ends the song
    int32_t sample_count = 0;
    ModSample* samples = nullptr;
    int32_t instrument_count = 0;
    ModInstrument* instruments = nullptr;

    int32_t initial_speed = 6;          // ticks per row
    int32_t initial_tempo = 125;        // the timer runs at tempo x 0.4 Hz
    int32_t initial_global_volume = 128;
    uint8_t* initial_panning = nullptr; // per channel, 0..255
    uint8_t* initial_volume = nullptr;  // per channel, 0..64
    float initial_separation = 1.0f;
};

// Makes a loaded sample safe to play: loops that reach past the data or end
// before they start are cut back or switched off.
void mod_sample_clamp_loops(ModSample& s);
