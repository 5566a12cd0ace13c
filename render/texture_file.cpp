#include "renderer/texture_file.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/print.h"
#include "world/view/chunk_walk.h"
#include "fsys/fsys.h"
#include "world/view/palette.h"
#include "renderer/texel_map.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_memory.h"

#include <cstdio>

namespace {

constexpr uint32_t ID_MIPT = chunk_id("MIPT");
constexpr uint32_t ID_MAPT = chunk_id("MAPT");
constexpr uint32_t ID_HEAD = chunk_id("HEAD");
constexpr uint32_t ID_PAL8 = chunk_id("PAL8");
constexpr uint32_t ID_DATA = chunk_id("DATA");
constexpr uint32_t ID_ALPH = chunk_id("ALPH");
constexpr int64_t HEAD_LENGTH = 12;
constexpr int64_t PAL8_LENGTH = PALETTE_ENTRIES * 3;
constexpr int CEL_SIZE_AT = 2;
constexpr int CEL_PALETTE_AT = 32;
constexpr int CEL_LEVELS_AT = 800;
constexpr int CEL_PALETTE_SHIFT = 2;

FileStream* open_binary(const char* path)
{
    return fsys != nullptr ? fsys->open(path, FSYS_BINARY) : nullptr;
}

int alloc_palette(Texture& texture, CacheOwner* owner)
{
    texture_free(texture.palette);
    texture.palette =
        static_cast<uint32_t*>(texture_alloc(PALETTE_ENTRIES * sizeof(uint32_t), owner, "TexturePalette"));
    return texture.palette != nullptr;
}

int64_t level_bytes(int32_t width, int32_t height, int level)
{
    return static_cast<int64_t>(width >> level) * static_cast<int64_t>(height >> level);
}

// Reads a ".cmt" file's chunks into the texture; the messages name the file.
class CmtReader {
public:
    CmtReader(Texture& texture, const char* path, CacheOwner* owner) : t_(texture), path_(path), owner_(owner) {}

    int read(FileStream* stream)
    {
        ChunkReader chunks;
        const uint32_t form = chunks.attach(stream);
        if (form != ID_MIPT && form != ID_MAPT) {
            return fail("Id is not MIPT/MAPT !");
        }
        transparent_ = form == ID_MAPT;
        t_.flags = transparent_ ? TEXTURE_TRANSPARENT : 0;
        for (const ChunkHeader* h = next_chunk_after(chunks); h != nullptr; h = next_chunk_after(chunks)) {
            if (chunk(stream, *h) == 0) {
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

private:
    int chunk(FileStream* stream, const ChunkHeader& h)
    {
        if (h.id == ID_PAL8) {
            if (h.length < PAL8_LENGTH || alloc_palette(t_, owner_) == 0 || palette_read(t_.palette, stream, 0) == 0) {
                return fail("Can't load palette !");
            }
            palette_halve(t_.palette);
            palette_ = true;
        } else if (h.id == ID_HEAD) {
            return head(stream, h);
        } else if (h.id == ID_DATA) {
            return levels(stream, h);
        } else if (h.id == ID_ALPH) {
            return alpha(stream, h);
        }
        return 1;
    }

    int head(FileStream* stream, const ChunkHeader& h)
    {
        // Levels already read have the old sizes; alpha must match them.
        if (data_) {
            return fail("HEAD after DATA !");
        }
        uint8_t raw[HEAD_LENGTH];
        if (h.length < HEAD_LENGTH || stream->read(raw, 1, sizeof raw) != sizeof raw) {
            return fail("HEAD too short !");
        }
        t_.mipmaps = TEXTURE_LEVELS;
        const int32_t width = static_cast<int32_t>(read_le32(raw));
        const int32_t height = static_cast<int32_t>(read_le32(raw + 4));
        if (!texture_size_valid(width) || !texture_size_valid(height)) {
            print_format(P_ERROR, "load_cmt(%s): Bad size (%d * %d) !", path_, width, height);
            return 0;
        }
        t_.ulog = texture_log2(width);
        t_.usize = width;
        t_.vsize = height;
        const int32_t stored = static_cast<int32_t>(read_le32(raw + 8));
        if (stored < TEXTURE_LEVELS) {
            print_format(P_ERROR, "load_cmt(%s): %d mipmaps required (%d found) !", path_, TEXTURE_LEVELS, stored);
            return 0;
        }
        head_ = true;
        return 1;
    }

    int levels(FileStream* stream, const ChunkHeader& h)
    {
        if (!head_) {
            return fail("DATA without HEAD !");
        }
        int64_t used = 0;
        for (int i = 0; i < TEXTURE_LEVELS; ++i) {
            const int32_t w = t_.usize >> i;
            const int32_t v = t_.vsize >> i;
            used += level_bytes(t_.usize, t_.vsize, i);
            const int ok = used <= h.length && (transparent_ ? texel_map_load_transparent(t_.levels[i], owner_, stream, w, v)
                                                             : texel_map_load(t_.levels[i], owner_, stream, w, v));
            if (ok == 0) {
                print_format(P_ERROR, "load_cmt(%s): Can't load mipmap %d !", path_, i);
                return 0;
            }
        }
        data_ = true;
        alpha_ = false;
        return 1;
    }

    int alpha(FileStream* stream, const ChunkHeader& h)
    {
        if (!data_) {
            return fail("ALPH without DATA !");
        }
        if (!transparent_) {
            return 1;
        }
        int64_t used = 0;
        for (int i = 0; i < TEXTURE_LEVELS; ++i) {
            used += level_bytes(t_.usize, t_.vsize, i);
            if (used > h.length || texel_map_load_alpha(t_.levels[i], stream, t_.usize >> i, t_.vsize >> i) == 0) {
                print_format(P_ERROR, "load_cmt(%s): Can't load mipmap %d alpha channel !", path_, i);
                return 0;
            }
        }
        alpha_ = true;
        return 1;
    }

    int fail(const char* what)
    {
        print_format(P_ERROR, "load_cmt(%s): %s", path_, what);
        return 0;
    }

    Texture& t_;
    const char* path_;
    CacheOwner* owner_;
    bool transparent_ = false;
    bool head_ = false;
    bool palette_ = false;
    bool data_ = false;
    bool alpha_ = false;
};

int load_cel_levels(Texture& texture, FileStream* stream, CacheOwner* owner)
{
    uint8_t size[4];
    if (stream->seek(CEL_SIZE_AT, FSYS_SEEK_SET) != 0 || stream->read(size, 1, sizeof size) != sizeof size) {
        return 0;
    }
    texture.mipmaps = TEXTURE_LEVELS;
    const int32_t width = read_le16(size);
    const int32_t height = read_le16(size + 2);
    if (!texture_size_valid(width) || !texture_size_valid(height)) {
        return 0;
    }
    texture.ulog = texture_log2(width);
    texture.usize = width;
    texture.vsize = height;
    texture.flags = 0;
    if (alloc_palette(texture, owner) == 0 || stream->seek(CEL_PALETTE_AT, FSYS_SEEK_SET) != 0 ||
        palette_read(texture.palette, stream, CEL_PALETTE_SHIFT) == 0) {
        return 0;
    }
    palette_halve(texture.palette);
    if (stream->seek(CEL_LEVELS_AT, FSYS_SEEK_SET) != 0) {
        return 0;
    }
    for (int i = 0; i < TEXTURE_LEVELS; ++i) {
        if (texel_map_load(texture.levels[i], owner, stream, width >> i, height >> i) == 0) {
            return 0;
        }
    }
    return 1;
}

// "gfx/resource/file.ext", or "gfx/file.ext" for an empty resource; false
// when it does not fit.
bool texture_path(char (&path)[256], const char* gfx_path, const char* resource, const char* file, const char* ext)
{
    const int n = resource[0] != '\0' ? std::snprintf(path, sizeof path, "%s/%s/%s.%s", gfx_path, resource, file, ext)
                                      : std::snprintf(path, sizeof path, "%s/%s.%s", gfx_path, file, ext);
    return n > 0 && static_cast<size_t>(n) < sizeof path;
}

} // namespace

int load_cmt(Texture& texture, const char* path, CacheOwner* owner)
{
    texture_clear(texture);
    FileStream* const stream = open_binary(path);
    if (stream == nullptr) {
        return 0;
    }
    CmtReader reader(texture, path, owner);
    const int ok = reader.read(stream);
    stream->close();
    if (ok == 0) {
        texture_clear(texture);
    }
    return ok;
}

int load_cel(Texture& texture, const char* path, CacheOwner* owner)
{
    texture_clear(texture);
    FileStream* const stream = open_binary(path);
    if (stream == nullptr) {
        return 0;
    }
    const int ok = load_cel_levels(texture, stream, owner);
    stream->close();
    if (ok == 0) {
        texture_clear(texture);
    }
    return ok;
}

int find_texture_file(Texture& texture, const char* gfx_path, const char* resource, const char* file,
                      CacheOwner* owner)
{
    texture_clear(texture);
    K_ASSERT(gfx_path);
    K_ASSERT(resource);
    K_ASSERT(file);
    char path[256];
    if (texture_path(path, gfx_path, resource, file, "cmt") && load_cmt(texture, path, owner) != 0) {
        return 1;
    }
    return texture_path(path, gfx_path, resource, file, "cel") && load_cel(texture, path, owner) != 0 ? 1 : 0;
}
