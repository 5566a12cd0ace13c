// Walks any bytes as a chunked file, once from a host file and once as a
// member of an archive, finding chunks by identifiers taken from the input.
#include "fsys/chunk_reader.h"
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "tools/fsys/muf_writer.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

void walk(FileStream* s, const uint8_t* data, size_t size)
{
    ChunkReader r;
    if (r.attach(s) == 0) {
        return;
    }
    uint8_t buffer[16];
    for (int i = 0; i < 64 && r.next_chunk(-1) != nullptr; ++i) {
        (void)s->read(buffer, 1, sizeof buffer);
        if (r.find_chunk(r.header().id) == nullptr) {
            break;
        }
    }
    for (size_t at = 0; at + 4 <= size && at < 32; at += 4) {
        uint32_t id = 0;
        std::memcpy(&id, data + at, 4);
        ChunkHeader mine;
        mine.length = CHUNK_START_LENGTH;
        for (int i = 0; i < 8 && r.find_chunk(id, &mine) != nullptr; ++i) {
            (void)s->read(buffer, 1, sizeof buffer);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name = fuzz::scratch_name(".bin");
    if (!fuzz::write_scratch(name, data, size)) {
        return 0;
    }
    tools::MufWriter w;
    w.add("before", std::vector<uint8_t>(5, 0xBB));
    w.add("chunks", std::vector<uint8_t>(data, data + size));
    w.add("after", std::vector<uint8_t>(40, 0xAA));
    const std::string archive = fuzz::scratch_name(".bin.muf");
    if (!w.write(archive.c_str())) {
        return 0;
    }
    FSys fs;
    fs.mount("", 1, 0);
    fs.mount(archive.c_str(), 1, 10);
    for (const char* file : {name.c_str(), "chunks"}) {
        FileStream* const s = fs.open(file, FSYS_BINARY);
        if (s != nullptr) {
            walk(s, data, size);
            s->close();
        }
    }
    return 0;
}
