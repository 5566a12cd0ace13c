#pragma once
// RiffReader: walks the chunks of a RIFF file. The "RIFF" header's length
// bounds every later chunk. Positions are file offsets of a chunk's 8-byte
// header, kept in 64 bits so that no length can wrap them.
#include <cstdint>

class FileStream;

struct RiffChunk {
    uint32_t id = 0;     // four characters, the first in the low byte
    uint32_t length = 0; // bytes of data after the header
    int64_t position = 0;

    int64_t data_position() const { return position + 8; }
    // Where the next chunk starts: data padded to an even length.
    int64_t next_position() const { return position + 8 + riff_even(length); }
    static int64_t riff_even(uint32_t length) { return (static_cast<int64_t>(length) + 1) & ~int64_t{1}; }
};

class RiffReader {
public:
    // The "RIFF" header at offset 0, or null.
    const RiffChunk* open(FileStream* stream);
    // The chunk header at position (-1: where the file is), or null when it
    // starts at or past the form's length, cannot be read, or ends past both
    // the form and the file.
    const RiffChunk* read_chunk(int64_t position, RiffChunk* record);
    // Reads chunk after chunk, from the one after record, until one has the id.
    const RiffChunk* find_chunk(uint32_t id, RiffChunk* record);

    const RiffChunk& form() const { return form_; }
    const RiffChunk& current() const { return current_; }

private:
    FileStream* stream_ = nullptr;
    RiffChunk form_;
    bool form_open_ = false;
    RiffChunk current_;
};
