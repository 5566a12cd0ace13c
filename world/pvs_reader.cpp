// Reader of "pvs.bin": the packed PVS of the cells.
#include "core/byte_order.h"
#include "core/print.h"
#include "fsys/chunk_reader.h"
#include "world/pvs_decode.h"
#include "world/shared_map.h"

#include <new>
#include <vector>

namespace {

constexpr uint32_t PVS_VERSION = 0;
constexpr uint32_t PVS_HEAD_BYTES = 16;

// The chunk right behind the one `header` describes.
ChunkHeader* following_chunk(ChunkReader& reader, const ChunkHeader& header)
{
    const int64_t length = header.length == CHUNK_START_LENGTH ? -4 : static_cast<int64_t>(header.length);
    const int64_t next = static_cast<int64_t>(header.position) + 8 + ((length + 3) & ~int64_t{3});
    if (next > INT32_MAX) {
        return nullptr;
    }
    return reader.next_chunk(static_cast<int32_t>(next));
}

bool expect_chunk(ChunkReader& reader, const char (&id)[5], const char* message)
{
    const ChunkHeader* const h = following_chunk(reader, reader.header());
    if (h == nullptr || h->id != chunk_id(id)) {
        print_string(P_ERROR, message);
        return false;
    }
    return true;
}

bool cannot_read()
{
    print_string(P_ERROR, "KLoad: Can't read pvs.bin");
    return false;
}

bool read_pvs_chunks(SharedMap& map, FileStream* stream, const uint32_t* identifier, std::vector<uint32_t>& offsets)
{
    ChunkReader reader;
    if (reader.attach(stream) != chunk_id("CPVS")) {
        print_string(P_ERROR, "KLoad: Unknown pvs.bin format");
        return false;
    }
    if (!expect_chunk(reader, "HEAD", "KLoad: Expecting HEAD chunk in pvs.bin")) {
        return false;
    }
    uint8_t head[PVS_HEAD_BYTES];
    if (reader.header().length < PVS_HEAD_BYTES || stream->read(head, 1, sizeof head) != sizeof head) {
        return cannot_read();
    }
    if (read_le32(head) != PVS_VERSION) {
        print_string(P_ERROR, "KLoad: Wrong pvs.bin version");
        return false;
    }
    if (read_le32(head + 4) != *identifier) {
        print_string(P_ERROR, "KLoad: Wrong magic in pvs.bin");
        return false;
    }
    const uint32_t cells = read_le32(head + 8);
    const uint32_t size = read_le32(head + 12);
    if (cells > static_cast<uint32_t>(map.cell_count)) {
        print_format(P_ERROR, "KLoad: pvs.bin covers %u cells, the map has %d", cells, map.cell_count);
        return false;
    }
    if (size > static_cast<uint64_t>(stream->size())) {
        return cannot_read();
    }
    map.pvs_data = new (std::nothrow) uint8_t[size > 0 ? size : 1];
    if (map.pvs_data == nullptr) {
        print_string(P_ERROR, "KLoad: Can't allocate PVS data");
        return false;
    }
    map.pvs_size = static_cast<int32_t>(size);
    map.pvs_cells = static_cast<int32_t>(cells);

    if (!expect_chunk(reader, "POLD", "KLoad: Expecting POLD chunk in pvs.bin")) {
        return false;
    }
    if (reader.header().length / 4 < cells) {
        return cannot_read();
    }
    offsets.resize(cells);
    for (uint32_t i = 0; i < cells; ++i) {
        uint8_t word[4];
        if (stream->read(word, 1, 4) != 4) {
            return cannot_read();
        }
        offsets[i] = read_le32(word);
    }
    if (!expect_chunk(reader, "DATA", "KLoad: Expecting DATA chunk in pvs.bin")) {
        return false;
    }
    if (reader.header().length < size || stream->read(map.pvs_data, 1, size) != size) {
        return cannot_read();
    }
    // Every cell's string must end inside the block; a run may pass the last cell.
    const uint8_t* const end = map.pvs_data + size;
    for (uint32_t i = 0; i < cells; ++i) {
        const auto nothing = [](int32_t, int32_t) {};
        const auto nothing_bits = [](int32_t, uint32_t, int32_t) {};
        if (offsets[i] > size ||
            !pvs_decode(map.pvs_data + offsets[i], end, map.pvs_cells, nothing, nothing_bits)) {
            print_format(P_ERROR, "KLoad: PVS of cell %u runs past the end of pvs.bin", i);
            return false;
        }
    }
    return true;
}

} // namespace

int read_pvs(SharedMap& map, FileStream* stream, uint32_t* identifier)
{
    delete[] map.pvs_data;
    map.pvs_data = nullptr;
    std::vector<uint32_t> offsets;
    if (!read_pvs_chunks(map, stream, identifier, offsets)) {
        // The map goes on without a PVS: no cell keeps a pointer into it.
        delete[] map.pvs_data;
        map.pvs_data = nullptr;
        map.pvs_cells = 0;
        map.pvs_size = 0;
        return 0;
    }
    for (int32_t i = 0; i < map.pvs_cells; ++i) {
        map.cells[i].pvs = map.pvs_data + offsets[static_cast<size_t>(i)];
    }
    return 1;
}
