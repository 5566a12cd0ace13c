#pragma once
// printf for scripts: the format is text in script memory and the arguments
// are the cells that follow it in a builtin's argument block, laid out as a
// 32-bit machine passes them: integers, characters and string addresses one
// cell each, doubles and 64-bit integers two cells, low half first.
#include "server/builtin_call.h"

#include <cstddef>

// The longest text a script format makes; longer text is cut.
constexpr size_t FORMAT_CELLS_TEXT = 1024;
// Widths and precisions above this are taken as this.
constexpr int FORMAT_CELLS_FIELD = 256;

// Formats into out (FORMAT_CELLS_TEXT bytes, always terminated), reading the
// arguments from cell `first` of a on. A conversion past the end of the block
// reads 0; "%n" writes nothing; a conversion it does not know is copied as it
// stands.
void format_cells(const BuiltinArgs& a, const char* format, uint32_t first, char (&out)[FORMAT_CELLS_TEXT]);
