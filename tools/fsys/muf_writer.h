#pragma once
// Writes "MUF2" archives: the magic, a HEAD block, directory blocks ("DIR ")
// and a data block holding the members. Unknown blocks, deleted entries,
// several directory blocks and a wrong file count can be asked for, so that
// tests can build every kind of archive the engine meets.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

class MufWriter {
public:
    static constexpr uint8_t FLAG_DELETED = 0x80;

    // Version: major in the high byte (the engine reads major 1).
    void set_version(uint16_t version) { version_ = version; }
    // The file count the HEAD announces; by default the number of live entries.
    void set_file_count(uint32_t count) { count_ = count; has_count_ = true; }
    // Bytes that follow the count in the HEAD block.
    void set_head_extra(const std::vector<uint8_t>& bytes) { head_extra_ = bytes; }

    // A member; entries added one after another share a directory block.
    void add(const std::string& name, const std::vector<uint8_t>& data, uint8_t flags = 0);
    void add(const std::string& name, const std::string& text, uint8_t flags = 0);
    // Ends the current directory block; the next entry starts another.
    void end_directory_block();
    // A block of any id, written where it is added among the directory blocks.
    void add_block(const char (&id)[5], const std::vector<uint8_t>& data);

    // Member offsets, sizes and block lengths are 32-bit: no archive passes this.
    static constexpr uint64_t MAX_SIZE = 0xFFFFFFFF;

    // Bytes build() makes, counted without making them.
    uint64_t size() const;
    // What size() becomes once a member of that name and size is added.
    uint64_t size_after(const std::string& name, uint64_t data_size) const;

    // Empty when the archive would pass MAX_SIZE.
    std::vector<uint8_t> build() const;
    // False on a write failure or an archive past MAX_SIZE.
    bool write(const char* path) const;

    uint32_t live_entries() const;

private:
    struct Item {
        enum Kind { ENTRY, BLOCK, BREAK } kind;
        std::string name; // entry name or block id
        std::vector<uint8_t> data;
        uint8_t flags = 0;
    };

    uint16_t version_ = 0x0100;
    uint32_t count_ = 0;
    bool has_count_ = false;
    std::vector<uint8_t> head_extra_;
    std::vector<Item> items_;
};

} // namespace tools
