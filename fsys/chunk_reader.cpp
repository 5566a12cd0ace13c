#include "fsys/chunk_reader.h"

#include "core/byte_order.h"

#include <cstdint>

uint32_t ChunkReader::attach(FileStream* stream)
{
    stream_ = stream;
    unsigned char form[4];
    if (stream_ == nullptr || stream_->seek(0, FSYS_SEEK_SET) != 0 || stream_->read(form, 1, 4) != 4) {
        return 0;
    }
    header_.id = 0;
    header_.length = CHUNK_START_LENGTH;
    header_.position = 0;
    return read_le32(form);
}

ChunkHeader* ChunkReader::next_chunk(int32_t position, ChunkHeader* header)
{
    ChunkHeader* const h = header != nullptr ? header : &header_;
    if (stream_ == nullptr) {
        return nullptr;
    }
    if (position == -1) {
        const int64_t here = stream_->tell();
        if (here < 0 || here > INT32_MAX) {
            return nullptr;
        }
        position = static_cast<int32_t>(here);
    } else if (stream_->tell() != position && stream_->seek(position, FSYS_SEEK_SET) != 0) {
        return nullptr;
    }
    unsigned char raw[8];
    if (position < 0 || stream_->read(raw, 1, 8) != 8) {
        return nullptr;
    }
    h->position = position;
    h->id = read_le32(raw);
    h->length = read_le32(raw + 4);
    return h;
}

ChunkHeader* ChunkReader::find_chunk(uint32_t id, ChunkHeader* header)
{
    ChunkHeader* const h = header != nullptr ? header : &header_;
    for (;;) {
        // In 64 bits, so that a length near 2^32 cannot lead back to an earlier chunk.
        const int64_t length = h->length == CHUNK_START_LENGTH ? -4 : static_cast<int64_t>(h->length);
        const int64_t next = static_cast<int64_t>(h->position) + 8 + ((length + 3) & ~int64_t{3});
        if (next < 0 || next > INT32_MAX || next_chunk(static_cast<int32_t>(next), h) == nullptr) {
            return nullptr;
        }
        if (h->id == id) {
            return h;
        }
    }
}
