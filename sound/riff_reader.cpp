#include "sound/riff_reader.h"

#include "core/four_cc.h"
#include "fsys/file_stream.h"
#include "core/byte_order.h"

namespace {

bool read_header(FileStream* stream, uint32_t& id, uint32_t& length)
{
    uint8_t h[8];
    if (stream->read(h, 1, sizeof h) != sizeof h) {
        return false;
    }
    id = read_le32(h);
    length = read_le32(h + 4);
    return true;
}

} // namespace

const RiffChunk* RiffReader::open(FileStream* stream)
{
    stream_ = stream;
    form_open_ = false;
    if (stream == nullptr || stream->seek(0, FSYS_SEEK_SET) != 0) {
        return nullptr;
    }
    RiffChunk f;
    if (!read_header(stream, f.id, f.length) || f.id != four_cc("RIFF")) {
        return nullptr;
    }
    f.position = 0;
    form_ = f;
    form_open_ = true;
    return &form_;
}

const RiffChunk* RiffReader::read_chunk(int64_t position, RiffChunk* record)
{
    if (stream_ == nullptr) {
        return nullptr;
    }
    const int64_t at = position == -1 ? stream_->tell() : position;
    if (at < 0) {
        return nullptr;
    }
    const int64_t form_end = RiffChunk::riff_even(form_.length);
    if (form_open_ && at >= form_end) {
        return nullptr;
    }
    if (stream_->tell() != at && stream_->seek(at, FSYS_SEEK_SET) != 0) {
        return nullptr;
    }
    RiffChunk c;
    c.position = at;
    if (!read_header(stream_, c.id, c.length)) {
        return nullptr;
    }
    // Some writers state a RIFF length a few bytes short: a chunk that runs
    // past the form is still taken when the file holds all of its data.
    if (form_open_ && at + RiffChunk::riff_even(c.length) > form_end &&
        c.data_position() + static_cast<int64_t>(c.length) > stream_->size()) {
        return nullptr;
    }
    current_ = c;
    *record = c;
    return record;
}

const RiffChunk* RiffReader::find_chunk(uint32_t id, RiffChunk* record)
{
    // Each step moves forward by at least 8 bytes, and the form bounds them.
    while (read_chunk(record->next_position(), record) != nullptr) {
        if (record->id == id) {
            return record;
        }
    }
    return nullptr;
}
