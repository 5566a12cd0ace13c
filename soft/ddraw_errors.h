#pragma once
// The text of a DirectDraw result code: its name and an explanation.
#include <cstdint>

constexpr int DDRAW_ERROR_COUNT = 104;

// "Unknown error" for a code not in the table.
const char* ddraw_error_text(uint32_t result);
