#pragma once
// Walking a chunked file chunk by chunk, in file order.
#include "fsys/chunk_reader.h"

#include <cstdint>

// The header of the chunk after the reader's current one (the first chunk
// right after attach), or null at the end. Positions only grow, so a walk ends.
inline const ChunkHeader* next_chunk_after(ChunkReader& chunks)
{
    const ChunkHeader& h = chunks.header();
    const int64_t length = h.length == CHUNK_START_LENGTH ? -4 : static_cast<int64_t>(h.length);
    const int64_t at = static_cast<int64_t>(h.position) + 8 + ((length + 3) & ~int64_t{3});
    return at >= 0 && at <= INT32_MAX ? chunks.next_chunk(static_cast<int32_t>(at)) : nullptr;
}
