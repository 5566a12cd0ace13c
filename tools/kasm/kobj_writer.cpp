#include "tools/kasm/kobj_writer.h"

namespace kasm {

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

uint32_t crc32_register(const uint8_t* data, size_t size, uint32_t reg)
{
    for (size_t i = 0; i < size; ++i) {
        reg ^= data[i];
        for (int b = 0; b < 8; ++b) {
            reg = (reg & 1u) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
        }
    }
    return reg;
}

void KObjFile::shape()
{
    const size_t n = sections.size();
    relocs.resize(n);
    for (auto& row : relocs) {
        row.resize(n);
    }
    xdefs.resize(n);
    xrefs.resize(n);
}

uint32_t KObjFile::name_index(const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<uint32_t>(i);
        }
    }
    names.push_back(name);
    return static_cast<uint32_t>(names.size() - 1);
}

std::vector<uint8_t> write_kobj(const KObjFile& in)
{
    KObjFile file = in;
    file.shape();
    const size_t n = file.sections.size();

    std::vector<uint8_t> data;
    put_u32(data, file.section_count.value_or(static_cast<uint32_t>(n)));
    for (const KObjSection& s : file.sections) {
        const uint32_t size = static_cast<uint32_t>(s.bytes.size());
        put_u32(data, s.memory_size < size && !s.exact_memory_size ? size : s.memory_size);
        put_u32(data, size);
        data.insert(data.end(), s.bytes.begin(), s.bytes.end());
    }
    std::vector<uint8_t> names;
    for (const std::string& name : file.names) {
        names.insert(names.end(), name.begin(), name.end());
        names.push_back(0);
    }
    put_u32(data, file.names_count.value_or(static_cast<uint32_t>(file.names.size())));
    put_u32(data, static_cast<uint32_t>(names.size()));
    data.insert(data.end(), names.begin(), names.end());
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            put_u32(data, static_cast<uint32_t>(file.relocs[i][j].size()));
            for (uint32_t offset : file.relocs[i][j]) {
                put_u32(data, offset);
            }
        }
    }
    for (const auto* table : {&file.xdefs, &file.xrefs}) {
        for (size_t i = 0; i < n; ++i) {
            put_u32(data, static_cast<uint32_t>((*table)[i].size()));
            for (const KObjSymbolRef& r : (*table)[i]) {
                put_u32(data, r.offset);
                put_u32(data, r.name);
            }
        }
    }
    for (const KObjMisc& m : file.misc) {
        put_u32(data, m.type);
        put_u32(data, static_cast<uint32_t>(m.bytes.size()));
        data.insert(data.end(), m.bytes.begin(), m.bytes.end());
    }
    data.insert(data.end(), file.trailing.begin(), file.trailing.end());

    std::vector<uint8_t> out;
    out.reserve(data.size() + 28);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(file.magic[i]));
    }
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(file.arch[i]));
    }
    for (int i = 0; i < 4; ++i) {
        out.push_back(file.version[i]);
    }
    put_u32(out, file.stamp);
    put_u32(out, file.reserved);
    put_u32(out, file.data_size.value_or(static_cast<uint32_t>(data.size())));
    out.insert(out.end(), data.begin(), data.end());
    put_u32(out, file.crc.value_or(crc32_register(out.data(), out.size())));
    return out;
}

} // namespace kasm
