// The lamp count of the map's "lightmap.bin": the server needs only its
// HEAD chunk (version, map identifier, ..., lamp count in the seventh word).
#include "core/byte_order.h"
#include "core/print.h"
#include "fsys/chunk_reader.h"
#include "fsys/fsys.h"
#include "server/lamp_manager.h"

namespace {

constexpr uint32_t LIGHTMAP_VERSION = 1;
constexpr int LIGHTMAP_HEAD_WORDS = 7;

int64_t read_lamp_count(FileStream* f, uint32_t map_id)
{
    ChunkReader chunks;
    if (chunks.attach(f) != chunk_id("LIMP")) {
        return -1;
    }
    const ChunkHeader* const head = chunks.find_chunk(chunk_id("HEAD"));
    if (head == nullptr || head->length < 4u * LIGHTMAP_HEAD_WORDS) {
        return -1;
    }
    unsigned char raw[4 * LIGHTMAP_HEAD_WORDS];
    if (f->read(raw, 1, sizeof raw) != sizeof raw) {
        return -1;
    }
    if (read_le32(raw) != LIGHTMAP_VERSION || read_le32(raw + 4) != map_id) {
        return -1;
    }
    return static_cast<int64_t>(read_le32(raw + 24)) + 1;
}

} // namespace

int32_t count_map_lamps(const char* path, uint32_t map_id)
{
    FileStream* const f = fsys != nullptr ? fsys->open(path, FSYS_BINARY) : nullptr;
    if (f == nullptr) {
        return -1;
    }
    const int64_t lamps = read_lamp_count(f, map_id);
    f->close();
    if (lamps > MAP_LAMP_MAX) {
        print_format(P_ERROR, "Server: Too many map lamps in %s (%lld, max %lld)", path,
                     static_cast<long long>(lamps), static_cast<long long>(MAP_LAMP_MAX));
        return -1;
    }
    return static_cast<int32_t>(lamps);
}
