// The persistent block: 1024 bytes that scripts keep across maps and runs,
// read from "config/kcmos.bin" at every start of a script world and written
// under the base directory at every stop.
#include "core/config_variable.h"
#include "core/kassert.h"
#include "fsys/chunk_reader.h"
#include "fsys/stdio2.h"
#include "server/script_glue.h"
#include "server/server.h"

#include <cstring>
#include <string>

namespace {

constexpr uint32_t KCMOS_HEAD_LENGTH = 8;

void put32(std::FILE* f, uint32_t v)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    std::fwrite(bytes, 1, 4, f);
}

} // namespace

bool base_path(const char* relative, std::string& path)
{
    const ConfigVariable* const base = cvar_list != nullptr ? cvar_list->find("Base") : nullptr;
    if (base == nullptr || base->string() == nullptr || base->string()[0] == '\0') {
        return false;
    }
    path = std::string(base->string()) + "/" + relative;
    return true;
}

int kcmos_read(Server& s, FileStream* stream)
{
    K_ASSERT(s.k_cmos);
    ChunkReader reader;
    bool ok = reader.attach(stream) == chunk_id("CMOS");
    ChunkHeader* h = ok ? reader.next_chunk(-1) : nullptr;
    ok = h != nullptr && h->id == chunk_id("HEAD") && h->length == KCMOS_HEAD_LENGTH;
    ok = ok && stream->read_le32() == static_cast<int32_t>(KCMOS_VERSION) &&
         stream->read_le32() == static_cast<int32_t>(KCMOS_SIZE);
    h = ok ? reader.next_chunk(-1) : nullptr;
    ok = h != nullptr && h->id == chunk_id("DATA") && h->length == static_cast<uint32_t>(KCMOS_SIZE);
    ok = ok && stream->read(s.k_cmos, KCMOS_SIZE, 1) == 1;
    if (!ok) {
        // Nothing of a bad file stays behind.
        std::memset(s.k_cmos, 0, KCMOS_SIZE);
    }
    return ok ? 1 : 0;
}

void kcmos_save(Server& s)
{
    if (s.k_cmos == nullptr) {
        return;
    }
    std::string path;
    if (base_path(KCMOS_PATH, path)) {
        if (std::FILE* const f = open_for_write(path.c_str(), STDIO2_BINARY)) {
            put32(f, chunk_id("CMOS"));
            put32(f, chunk_id("HEAD"));
            put32(f, KCMOS_HEAD_LENGTH);
            put32(f, KCMOS_VERSION);
            put32(f, KCMOS_SIZE);
            put32(f, chunk_id("DATA"));
            put32(f, KCMOS_SIZE);
            std::fwrite(s.k_cmos, 1, KCMOS_SIZE, f);
            std::fclose(f);
        }
    }
    s.k_cmos = nullptr;
}
