#pragma once
// The rules every textual data file shares: lines of at most 1023 characters,
// '#' comment lines, and a header line that names the format and may carry
// the identifier of the map the file belongs to.
#include "fsys/file_stream.h"

#include <cstddef>
#include <cstdint>

constexpr int TEXT_LINE_SIZE = 1024;

// Results of check_text_header.
constexpr int TEXT_HEADER_OK = 0;
constexpr int TEXT_HEADER_UNKNOWN = 1;   // the line does not begin with the magic
constexpr int TEXT_HEADER_OTHER_MAP = 2; // the file's map identifier differs from the load's

// The next line that does not begin with '#' (end of line kept when it fits),
// or null at the end of the file.
char* read_text_line(char* line, FileStream* stream);

// The magic is compared over its length; ",0x<hex>" directly behind it names
// the map. A load's identifier word starts at 0 (none) and is fixed by the
// first file that carries one.
int check_text_header(const char* line, const char* magic, uint32_t* identifier);

// Hexadecimal digits as "%x" takes them (leading blanks, an optional sign that
// wraps); false when there are none or the value needs more than 32 bits.
// end, when given, receives the position behind the digits.
bool parse_hex32(const char* text, uint32_t& value, const char** end = nullptr);

// Copies source whole into destination (size bytes); returns the position in
// destination just behind the last '/' or '\\' copied, or its start when there
// is none. Null, with destination left empty, when source does not fit.
char* copy_path(char* destination, size_t size, const char* source);
// Ends the string at its first '\n'; the position of the terminator.
char* cut_at_newline(char* text);
// The start of the next word: past the current one, then past blanks; stops
// at the terminator.
const char* next_word(const char* text);
