#pragma once
// ChunkReader walks a chunked file: a four-character form identifier, then
// chunks of {u32 identifier, u32 length, data padded to a multiple of 4},
// all little-endian, identifiers with their first character in the lowest
// byte. Searches go forward only; to search again from the start, attach
// again or pass a header of your own with position 0 and length CHUNK_START_LENGTH.
// Only whole reads count, never the stream's end mark: a file holding only its
// form, or ending in an empty chunk, reads the same from a host directory and
// from an archive member (whose end shows as soon as the last byte is read).
#include "core/four_cc.h"
#include "fsys/file_stream.h"

#include <cstdint>

// The length of the header that attach leaves behind: the first chunk then
// starts right behind the form identifier.
constexpr uint32_t CHUNK_START_LENGTH = static_cast<uint32_t>(-4);

struct ChunkHeader {
    uint32_t id = 0;
    uint32_t length = 0;  // of the data, without the padding
    int32_t position = 0; // of the chunk's identifier in the stream
};

constexpr uint32_t chunk_id(const char (&s)[5])
{
    return four_cc(s);
}

class ChunkReader {
public:
    ChunkReader() = default;

    // Seeks to the start and reads the form identifier; 0 when the stream
    // holds less than one.
    uint32_t attach(FileStream* stream);
    // Reads the chunk header at `position` (-1: where the stream stands) into
    // `header` (null: the reader's own) and leaves the stream at its data.
    // Null when there is no stream or no whole header there.
    ChunkHeader* next_chunk(int32_t position, ChunkHeader* header = nullptr);
    // The first chunk with the identifier after the one `header` describes.
    ChunkHeader* find_chunk(uint32_t id, ChunkHeader* header = nullptr);

    FileStream* stream() const { return stream_; }
    const ChunkHeader& header() const { return header_; }

private:
    FileStream* stream_ = nullptr;
    ChunkHeader header_;
};
