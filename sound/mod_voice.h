#pragma once
// The channel side of the module player: one ModTrackState per pattern
// channel, and ModChanState voices, each playing one note on one device
// channel. A new note moves the old voice to the background, where it plays
// on by its instrument's new-note action.
#include "sound/mod_env_state.h"

#include <cstdint>

struct ModChanState;

// Effect memories of a track.
enum ModMemory {
    MODM_VOLUME_SLIDE,     // 0x21, 0x60, 0x61
    MODM_FINE_VOLUME,
    MODM_CHANNEL_VOLUME,
    MODM_GLOBAL_VOLUME,
    MODM_PANNING,
    MODM_PORTA,            // 0x40, 0x41
    MODM_FINE_PORTA,
    MODM_TONE_PORTA,
    MODM_COUNT
};

struct ModTrackState {
    ModChanState* voice = nullptr;  // the foreground voice
    uint8_t active[2] = {0, 0};     // effect of each command column this row
    uint8_t memory[MODM_COUNT] = {};
    uint8_t new_note_action = 0;
    uint8_t last_note = 255;
    int32_t panning = 128;          // 0..255
    int32_t volume = 64;            // 0..64
    int32_t channel_volume = 64;    // 0..64
};

constexpr uint8_t MODV_OWN_PANNING = 0x01;
constexpr uint8_t MODV_FADING = 0x02;
constexpr uint8_t MODV_BACKGROUND = 0x80;

struct ModChanState {
    ModChanState* next = nullptr;
    ModTrackState* track = nullptr; // null: the voice is free
    uint8_t flags = 0;              // MODV_OWN_PANNING, MODV_FADING
    uint8_t place = 0;              // MODV_BACKGROUND
    int32_t channel = 0;            // device channel handle
    uint8_t note = 255;
    uint8_t instrument = 255;
    uint8_t sample = 255;
    ModEnvState env[3];             // ModEnvKind
    int32_t panning = 128;          // 0..255
    int32_t volume = 4096;          // track volume x channel volume
    int32_t fade = 0x10000;         // 16.16, full = 0x10000
    int32_t period = 1000;
    int32_t target = 0;             // tone portamento's goal; < 1 = none

    bool fading() const { return (flags & MODV_FADING) != 0; }
    bool background() const { return (place & MODV_BACKGROUND) != 0; }
    void start_fade() { flags |= MODV_FADING; }
};

// Row flags: bits 0-7 per channel, rebuilt for each channel.
constexpr uint32_t MODR_NOTE = 0x01;
constexpr uint32_t MODR_INSTRUMENT = 0x02;
constexpr uint32_t MODR_TRIGGER = 0x10;
constexpr uint32_t MODR_RETRIGGER = 0x20;
constexpr uint32_t MODR_CUT = 0x40;
constexpr uint32_t MODR_PORTA = 0x80;
constexpr uint32_t MODR_CHANNEL_BITS = 0xFF;
constexpr uint32_t MODR_BREAK = 0x1000;
constexpr uint32_t MODR_JUMP = 0x2000;
