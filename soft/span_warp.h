#pragma once
// The time-varying sine warp of flagged surfaces. The mapper builds the warp
// table once and passes, for a warped surface, S = table + (phase mod 1024)
// and T = table + ((phase + 256) mod 1024); each pointer is indexed 0 to 1023.
#include <cstdint>

#include "soft/span_plan.h"

constexpr int WARP_PERIOD = 1024;
constexpr int WARP_TABLE_ENTRIES = 2 * WARP_PERIOD;

// Entry k = round(131072 * sin(2 pi k / 1024)), signed 16.16, read from a sine
// table of `sine_count` entries (a power of two, at least 1024) for one turn.
void build_warp_table(int32_t* table, const float* sine, int sine_count);

// Displaces one plan's start and steps in place: u' = u + S[(v >> 12) & 1023],
// v' = v + T[(u >> 12) & 1023], and each piece's steps recomputed so that the
// piece runs between the displaced ends.
void span_warp(SpanPlan* plan, const int32_t* S, const int32_t* T);
