#pragma once
// ModEnvState: a voice's place on one envelope, stepped once per tick.
#include "sound/module_data.h"

#include <cstdint>

constexpr uint8_t MODES_ON = 0x01;
constexpr uint8_t MODES_LOOPING = 0x02;

struct ModEnvState {
    const ModEnvelope* env = nullptr;
    uint16_t elapsed = 0;      // ticks into the current segment
    uint8_t node = 0;
    uint8_t flags = 0;         // MODES_*
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;
    int16_t default_value = 0; // the value while off

    void init(const ModEnvelope* envelope, int16_t dflt);
    // One tick; false once the last node is reached (or when off).
    bool step();
    int32_t value() const;
    // Note off: leave the sustain loop.
    void release();
    // Jump to p ticks from the start.
    void set_position(uint32_t p);

    bool on() const { return (flags & MODES_ON) != 0; }
    bool looping() const { return (flags & MODES_LOOPING) != 0; }

private:
    void loop_between(uint8_t start, uint8_t end);
    int last_node() const { return env->count > 0 ? env->count - 1 : 0; }
};
