#pragma once
// The message pump: hands the client the window's input events of one time
// slice [from, to] (engine-clock seconds). Older messages are dropped; the
// first later one waits for the call whose slice contains it.
#include "core/input_event.h"

// The next event of the slice, or null when none is left. The record stays
// valid until the next call.
InputEvent* pump_messages(double from, double to);
// Forgets the message kept for the next slice.
void pump_reset();
