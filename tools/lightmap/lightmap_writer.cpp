#include "tools/lightmap/lightmap_writer.h"

#include "tools/fsys/chunk_writer.h"

#include <cstdlib>
#include <string>

namespace lightmap {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// The identifier behind ",0x" on the first line; 0 when it has none.
bool identifier_of(const std::vector<uint8_t>& file, uint32_t& id)
{
    const std::string text(file.begin(), file.end());
    const std::string first = text.substr(0, text.find('\n'));
    const size_t at = first.find(",0x");
    if (first.rfind("textual", 0) != 0) {
        return false;
    }
    id = at == std::string::npos ? 0u : static_cast<uint32_t>(std::strtoul(first.c_str() + at + 3, nullptr, 16));
    return true;
}

} // namespace

std::vector<uint8_t> write_unlit_lightmap(uint32_t map_id, uint32_t polygons, uint32_t lamps)
{
    std::vector<uint8_t> head;
    const uint32_t words[9] = {1, map_id, polygons, 0, 0, 0, lamps, 0, 0};
    for (const uint32_t w : words) {
        put32(head, w);
    }
    std::vector<uint8_t> pold;
    for (uint32_t p = 0; p < polygons; ++p) {
        put32(pold, 0);
    }
    tools::ChunkWriter w("LIMP");
    w.add("HEAD", head);
    w.add("POLD", pold);
    w.add("XLAT", std::vector<uint8_t>{});
    w.add("RLMD", std::vector<uint8_t>{});
    return w.bytes();
}

bool add_unlit_lightmap(mapgen::MapFiles& files, uint32_t lamps)
{
    if (files.find("lightmap.bin") != nullptr) {
        return true;
    }
    const mapgen::MapFile* const planes = files.find("rplanes.txt");
    uint32_t id = 0;
    if (planes == nullptr || !identifier_of(planes->bytes, id)) {
        return false;
    }
    files.files.push_back({"lightmap.bin", write_unlit_lightmap(id, 0, lamps)});
    return true;
}

} // namespace lightmap
