#include "sound/mod_reader.h"

#include "fsys/file_stream.h"
#include "sound/module_contents.h"

#include <algorithm>
#include <cstring>

ModReader::ModReader(FileStream* stream) : stream_(stream)
{
    if (stream_ == nullptr) {
        ok_ = false;
        return;
    }
    position_ = stream_->tell();
    size_ = stream_->size();
}

bool ModReader::bytes(void* destination, size_t count)
{
    if (!ok_ || stream_->read(destination, 1, count) != count) {
        ok_ = false;
        std::memset(destination, 0, count);
        return false;
    }
    position_ += int64_t(count);
    counted_ += int64_t(count);
    return true;
}

uint8_t ModReader::u8()
{
    uint8_t b = 0;
    bytes(&b, 1);
    return b;
}

uint16_t ModReader::u16()
{
    uint8_t b[2];
    bytes(b, 2);
    return uint16_t(b[0] | b[1] << 8);
}

uint32_t ModReader::u32()
{
    uint8_t b[4];
    bytes(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

bool ModReader::skip(size_t count)
{
    return seek(position_ + int64_t(count));
}

bool ModReader::seek(int64_t position)
{
    if (!ok_) {
        return false;
    }
    if (position == position_) {
        return true;
    }
    if (position < 0 || position > size_ || stream_->seek(position, FSYS_SEEK_SET) != 0) {
        ok_ = false;
        return false;
    }
    position_ = position;
    return true;
}

int32_t mod_file_head(FileStream* stream, const uint8_t* head, int32_t count, uint8_t* out, int32_t need)
{
    std::memset(out, 0, size_t(need));
    if (head != nullptr && count >= need) {
        std::memcpy(out, head, size_t(need));
        return need;
    }
    if (stream == nullptr || stream->seek(0, FSYS_SEEK_SET) != 0) {
        return 0;
    }
    return int32_t(stream->read(out, 1, size_t(need)));
}

void mod_copy_name(char* out, size_t size, const uint8_t* field, size_t length)
{
    const size_t n = std::min(length, size - 1);
    std::memcpy(out, field, n);
    out[n] = '\0';
}

void mod_sample_fit(ModSample& s, int64_t file_size)
{
    const int64_t width = (s.flags & MODS_16BIT) != 0 ? 2 : 1;
    const int64_t room = std::max<int64_t>(file_size - int64_t(s.data_pos), 0) / width;
    if (s.length < 0) {
        s.length = 0;
    }
    if (s.length > room) {
        s.length = int32_t(room);
    }
    mod_sample_clamp_loops(s);
}
