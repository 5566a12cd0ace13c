#include "tools/fsys/chunk_writer.h"

#include "tools/fsys/write_bytes.h"

namespace tools {

ChunkWriter::ChunkWriter(const char (&form)[5]) { put_id(form); }

void ChunkWriter::put32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void ChunkWriter::put_id(const char (&id)[5])
{
    for (int i = 0; i < 4; ++i) {
        out_.push_back(static_cast<uint8_t>(id[i]));
    }
}

void ChunkWriter::add(const char (&id)[5], const std::vector<uint8_t>& data)
{
    add_with_length(id, static_cast<uint32_t>(data.size()), data);
}

void ChunkWriter::add(const char (&id)[5], const std::string& text)
{
    add(id, std::vector<uint8_t>(text.begin(), text.end()));
}

void ChunkWriter::add_with_length(const char (&id)[5], uint32_t length, const std::vector<uint8_t>& data)
{
    put_id(id);
    put32(length);
    out_.insert(out_.end(), data.begin(), data.end());
    while (out_.size() % 4 != 0) {
        out_.push_back(0);
    }
}

bool ChunkWriter::write(const char* path) const { return write_bytes(path, out_); }

} // namespace tools
