#pragma once
// Periods and frequencies of module notes. Period mode: Amiga-style periods,
// 14317456 / period Hz. Linear mode: 64 period units a semitone, 768 an octave.
#include "sound/module_contents.h"

#include <cstdint>

// The period of note n (0..119) on a sample, clamped to the module's range;
// the maximum period for a note, sample or rate that does not exist.
int32_t mod_note_period(const ModuleData& m, uint32_t note, uint32_t sample);
// Hz of a period; a period of 0 gives 1.
int32_t mod_period_hz(int32_t period, bool linear);
// Entry i of the linear table: 16726 x 2^(i / 768), truncated.
uint32_t mod_linear_table(int i);
