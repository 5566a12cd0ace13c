#include "tools/net/vcr_writer.h"

#include <cstdio>

namespace tools {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void put_id(std::vector<uint8_t>& out, const std::string& id)
{
    for (size_t i = 0; i < 4; ++i) {
        out.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
    }
}

} // namespace

std::vector<uint8_t> vcr_build(const std::vector<VcrRecord>& records, const VcrOptions& options)
{
    std::vector<uint8_t> out;
    put_id(out, options.form);
    if (options.head_chunk) {
        put_id(out, "HEAD");
        put32(out, 4);
        put32(out, options.version);
    }
    std::vector<uint8_t> data;
    for (const VcrRecord& r : records) {
        data.push_back(static_cast<uint8_t>(r.id));
        data.push_back(static_cast<uint8_t>(r.bits));
        data.push_back(static_cast<uint8_t>(r.bits >> 8));
        const size_t bytes = (static_cast<size_t>(r.bits & 0xFFFF) + 7) / 8;
        for (size_t i = 0; i < bytes; ++i) {
            data.push_back(i < r.payload.size() ? r.payload[i] : 0);
        }
    }
    if (options.end_mark) {
        for (const uint8_t b : {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}) {
            data.push_back(b);
        }
    }
    if (options.data_chunk) {
        put_id(out, "DATA");
        put32(out, options.fill_data_length ? static_cast<uint32_t>(data.size()) : 0);
    }
    out.insert(out.end(), data.begin(), data.end());
    if (options.end_mark) {
        while (data.size() % 4 != 0) {
            data.push_back(0);
            out.push_back(0);
        }
    }
    out.resize(out.size() > options.cut_bytes ? out.size() - options.cut_bytes : 0);
    return out;
}

bool vcr_save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* const f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace tools
