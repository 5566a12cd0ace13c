#pragma once
// One of the mixer's channels: a sample playing at its own rate, volume, pan
// and loop. Positions are fixed point with an 11-bit fraction; the position
// is a magnitude and MIXCF_BACKWARD its direction.
#include <cstdint>

class MixingBuffer;
class MixSample;

constexpr uint32_t MIXCF_BACKWARD = 0x1000;
constexpr uint32_t MIXCF_PLAYING = 0x2000;
constexpr int32_t MIX_CHANNELS = 256;
constexpr int32_t MIX_MAX_SERIAL = 1048575;  // serials run 1..2^20-1, then wrap to 1
constexpr int32_t MIX_PAN_NONE = 256;        // pan position: both sides at full level
constexpr int32_t MIX_DEFAULT_FREQUENCY = 8363;
// Frequencies above this would overflow the 32-bit increment.
constexpr int32_t MIX_MAX_FREQUENCY = (1 << 21) - 1;

struct MixChannel {
    MixingBuffer* mix_buf = nullptr;
    float priority = 0.0f;
    float volume_priority = 0.0f;
    int32_t serial = 0;          // 0 until first chosen
    int32_t hold = 0;            // passes it may not be taken; -1 until released
    MixSample* sample = nullptr;
    int32_t frequency = MIX_DEFAULT_FREQUENCY;
    float volume = 0.0f;         // 0..1
    float pan = 0.0f;            // as last set
    int32_t left = 0;            // levels 0..64
    int32_t right = 0;
    int32_t pan_pos = 128;       // 0..255, MIX_PAN_NONE
    uint32_t flags = 0;          // the sample's flags, MIXCF_BACKWARD, MIXCF_PLAYING
    int32_t pos = 0;
    int32_t increment = 0;
    int32_t loop_start = 0;
    int32_t end = 0;
};
