#pragma once
// Writes recordings (".vcr") for tests, byte by byte from the format, with
// knobs to damage them the way crashes and bad disks do.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct VcrRecord {
    int id = 0;
    uint32_t bits = 0;            // stored as the record's u16 length
    std::vector<uint8_t> payload; // (bits + 7) / 8 bytes are written, zero-filled when short
};

struct VcrOptions {
    std::string form = "SVCR";
    uint32_t version = 2;
    bool head_chunk = true;
    bool data_chunk = true;
    bool end_mark = true;        // false: as a program that stopped without closing the socket
    bool fill_data_length = true; // false leaves 0 in the DATA length
    size_t cut_bytes = 0;        // bytes dropped from the end of the file
};

std::vector<uint8_t> vcr_build(const std::vector<VcrRecord>& records, const VcrOptions& options = {});
bool vcr_save(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace tools
