#include "world/view/cmt_reader.h"

#include "core/byte_order.h"
#include "core/print.h"
#include "world/view/chunk_walk.h"

#include <cstdio>

namespace {

constexpr uint32_t ID_MIPT = chunk_id("MIPT");
constexpr uint32_t ID_MAPT = chunk_id("MAPT");
constexpr uint32_t ID_HEAD = chunk_id("HEAD");
constexpr uint32_t ID_PAL8 = chunk_id("PAL8");
constexpr uint32_t ID_DATA = chunk_id("DATA");
constexpr uint32_t ID_ALPH = chunk_id("ALPH");
constexpr uint32_t HEAD_LENGTH = 12;
constexpr uint32_t PAL8_LENGTH = 256 * 3;

} // namespace

bool texture_file_path(char (&path)[TEXTURE_PATH_MAX], const char* gfx_path, const char* resource, const char* file,
                       const char* ext)
{
    const int n = resource[0] != '\0' ? std::snprintf(path, sizeof path, "%s/%s/%s.%s", gfx_path, resource, file, ext)
                                      : std::snprintf(path, sizeof path, "%s/%s.%s", gfx_path, file, ext);
    return n > 0 && static_cast<size_t>(n) < sizeof path;
}

int CmtReader::fail(const char* what) const
{
    print_format(P_ERROR, "load_cmt(%s): %s", path_, what);
    return 0;
}

int CmtReader::read(FileStream* stream)
{
    if (stream->size() == 0) {
        return fail("File is empty !");
    }
    ChunkReader chunks;
    const uint32_t form = chunks.attach(stream);
    if (form != ID_MIPT && form != ID_MAPT) {
        return fail("Id is not MIPT/MAPT !");
    }
    transparent_ = form == ID_MAPT;
    const int64_t file_size = stream->size();
    for (const ChunkHeader* h = next_chunk_after(chunks); h != nullptr; h = next_chunk_after(chunks)) {
        // A length past the end would let the padding or the next chunk pass for texels.
        if (static_cast<int64_t>(h->position) + 8 + static_cast<int64_t>(h->length) > file_size) {
            return fail("Chunk runs past the end of the file !");
        }
        if (chunk(stream, h->id, h->length) == 0) {
            return 0;
        }
    }
    if (!head_) {
        return fail("HEAD not found !");
    }
    if (!palette_) {
        return fail("PAL8 not found !");
    }
    if (!transparent_ && !data_) {
        return fail("DATA not found !");
    }
    if (transparent_ && !alpha_) {
        return fail("DATA/ALPH not found !");
    }
    return 1;
}

int CmtReader::chunk(FileStream* stream, uint32_t id, uint32_t length)
{
    if (id == ID_PAL8) {
        if (length < PAL8_LENGTH || palette(stream) == 0) {
            return fail("Can't load palette !");
        }
        palette_ = true;
    } else if (id == ID_HEAD) {
        return read_head(stream, length);
    } else if (id == ID_DATA) {
        return read_levels(stream, length);
    } else if (id == ID_ALPH) {
        return read_alpha(stream, length);
    }
    return 1;
}

int CmtReader::read_head(FileStream* stream, uint32_t length)
{
    // Levels already read have the old sizes; alpha must match them.
    if (data_) {
        return fail("HEAD after DATA !");
    }
    uint8_t raw[HEAD_LENGTH];
    if (length < HEAD_LENGTH || stream->read(raw, 1, sizeof raw) != sizeof raw) {
        return fail("HEAD too short !");
    }
    const int32_t width = static_cast<int32_t>(read_le32(raw));
    const int32_t height = static_cast<int32_t>(read_le32(raw + 4));
    const int32_t stored = static_cast<int32_t>(read_le32(raw + 8));
    if (head(width, height, stored, transparent_) == 0) {
        return 0;
    }
    head_ = true;
    return 1;
}

int CmtReader::each_level(FileStream* stream, uint32_t length, LevelStep step)
{
    int64_t used = 0;
    for (int i = 0; i < levels(); ++i) {
        int32_t w = 0;
        int32_t h = 0;
        level_size(i, w, h);
        used += static_cast<int64_t>(w) * static_cast<int64_t>(h);
        if (used > static_cast<int64_t>(length) || (this->*step)(i, stream, w, h) == 0) {
            return i;
        }
    }
    return -1;
}

int CmtReader::read_levels(FileStream* stream, uint32_t length)
{
    if (!head_) {
        return fail("DATA without HEAD !");
    }
    const int bad = each_level(stream, length, &CmtReader::level);
    if (bad >= 0) {
        print_format(P_ERROR, "load_cmt(%s): Can't load mipmap %d !", path_, bad);
        return 0;
    }
    data_ = true;
    alpha_ = false;
    return 1;
}

int CmtReader::read_alpha(FileStream* stream, uint32_t length)
{
    if (!data_) {
        return fail("ALPH without DATA !");
    }
    if (!transparent_) {
        return 1;
    }
    const int bad = each_level(stream, length, &CmtReader::alpha);
    if (bad >= 0) {
        print_format(P_ERROR, "load_cmt(%s): Can't load mipmap %d alpha channel !", path_, bad);
        return 0;
    }
    alpha_ = true;
    return 1;
}
