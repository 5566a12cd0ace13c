#pragma once
// The contents of one "KOBJ" script object file, and its writer. Every field
// that a well-formed file derives (sizes, the trailer) can be overridden, so
// that tests can write deliberately broken files.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kasm {

constexpr uint32_t KOBJ_ENGINE_STAMP = 0x5D0C91E7;
constexpr int KOBJ_SECTIONS_MAX = 5;

struct KObjSection {
    std::vector<uint8_t> bytes;  // file contents (S bytes)
    uint32_t memory_size = 0;    // M; the tail beyond the contents is zero
    bool exact_memory_size = false;  // write M even when it is below S (broken files)
};

struct KObjSymbolRef {
    uint32_t offset;  // byte offset into the section
    uint32_t name;    // index into the names
};

struct KObjMisc {
    uint32_t type;
    std::vector<uint8_t> bytes;
};

struct KObjFile {
    char magic[4] = {'K', 'O', 'B', 'J'};
    char arch[4] = {'I', 'N', 'T', 'L'};
    uint8_t version[4] = {1, 3, 11, 0};
    uint32_t stamp = 0;
    uint32_t reserved = 0;
    std::vector<KObjSection> sections;
    std::vector<std::string> names;
    // relocs[i][j]: offsets in section i that get the address of section j added.
    std::vector<std::vector<std::vector<uint32_t>>> relocs;
    std::vector<std::vector<KObjSymbolRef>> xdefs;
    std::vector<std::vector<KObjSymbolRef>> xrefs;
    std::vector<KObjMisc> misc;

    // Overrides for broken files.
    std::optional<uint32_t> section_count;  // count written, tables still follow sections.size()
    std::optional<uint32_t> data_size;
    std::optional<uint32_t> names_count;
    std::optional<uint32_t> crc;
    std::vector<uint8_t> trailing;  // bytes after the misc records, inside the data

    // Makes the tables match the number of sections.
    void shape();
    uint32_t name_index(const std::string& name);
};

// CRC-32 register (reflected, IEEE polynomial) from the given start, not inverted.
uint32_t crc32_register(const uint8_t* data, size_t size, uint32_t reg = 0xFFFFFFFFu);

std::vector<uint8_t> write_kobj(const KObjFile& file);
void put_u32(std::vector<uint8_t>& out, uint32_t v);

} // namespace kasm
