#pragma once
// Writes chunked files: a four-character form, then chunks of {identifier,
// length, data padded with zeros to a multiple of 4}, little-endian.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

class ChunkWriter {
public:
    explicit ChunkWriter(const char (&form)[5]);

    void add(const char (&id)[5], const std::vector<uint8_t>& data);
    void add(const char (&id)[5], const std::string& text);
    // A chunk whose length field says `length` whatever the data holds; for
    // damaged files in tests.
    void add_with_length(const char (&id)[5], uint32_t length, const std::vector<uint8_t>& data);

    const std::vector<uint8_t>& bytes() const { return out_; }
    bool write(const char* path) const;

private:
    void put32(uint32_t v);
    void put_id(const char (&id)[5]);

    std::vector<uint8_t> out_;
};

} // namespace tools
