#pragma once
// Reads the fixed lines of one textual map file. Every line a reader asks
// for must be there and hold what it asks for: a file that ends early, a
// number that does not parse or a float that is not finite fails the file
// with a message naming it, instead of leaving fields as an earlier line gave
// them.
#include "fsys/file_stream.h"
#include "world/text_file.h"

#include <cstddef>
#include <cstdint>

// A count read from a file: each element needs at least a byte of the file,
// so a larger count is a damaged file, not an allocation to try.
inline bool count_fits(int64_t count, FileStream* stream) { return count >= 0 && count <= stream->size(); }

class MapTextReader {
public:
    MapTextReader(FileStream* stream, const char* file_name) : stream_(stream), file_name_(file_name) {}

    // The header with one plain read (a '#' line there is not skipped);
    // prints "KLoad: Unknown <file> file format" or "KLoad: Bad magic in <file>".
    bool header(const char* magic, uint32_t* identifier);
    // The header after any '#' lines; prints unknown_message when the magic
    // is not there and "KLoad: Bad magic in <file>" for another map's file.
    bool header_after_comments(const char* magic, uint32_t* identifier, const char* unknown_message);
    // The next line (a '#' line is skipped unless told not to); false after
    // reporting the end of the file or a line too long for the buffer.
    bool next_line(bool skip_comments = true);
    // Reads the next line and skips it; false as next_line.
    bool skip_lines(int32_t count);

    // Fields of the current line, left to right; each false after reporting.
    bool read_int(int32_t& value);      // "%d"
    bool read_hex(uint32_t& value);     // "0x%x"
    bool read_float(float& value);      // "%f", finite only
    // A whole number written as in C: decimal, hexadecimal after "0x",
    // octal after a leading 0; within 32 bits.
    bool read_literal(int32_t& value);
    // A word of non-blank characters into a field of `size` bytes; a longer
    // word is refused, not cut.
    bool read_word(char* word, size_t size);
    bool read_floats(float* values, int count);
    // A whole line of count "%d" fields.
    bool line_ints(int32_t* values, int count);
    bool line_floats(float* values, int count);

    // Reports the current line as bad; always false.
    bool bad_line();

    const char* file_name() const { return file_name_; }
    int32_t line_number() const { return line_number_; }

private:
    FileStream* stream_;
    const char* file_name_;
    char line_[TEXT_LINE_SIZE] = {};
    const char* cursor_ = line_;
    int32_t line_number_ = 0;
};
