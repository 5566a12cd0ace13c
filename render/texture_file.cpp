#include "renderer/texture_file.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/print.h"
#include "world/view/cmt_reader.h"
#include "fsys/fsys.h"
#include "world/view/palette.h"
#include "renderer/texel_map.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_memory.h"

#include <cstdio>

namespace {

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

// Fills the software program's texture from a ".cmt" file: five levels of
// sides from 16 to 256, palettes halved.
class SoftCmtReader final : public CmtReader {
public:
    SoftCmtReader(Texture& texture, const char* path, CacheOwner* owner) : CmtReader(path), t_(texture), owner_(owner)
    {
    }

private:
    int head(int32_t width, int32_t height, int32_t stored, bool transparent) override
    {
        t_.flags = transparent ? TEXTURE_TRANSPARENT : 0;
        t_.mipmaps = TEXTURE_LEVELS;
        if (!texture_size_valid(width) || !texture_size_valid(height)) {
            print_format(P_ERROR, "load_cmt(%s): Bad size (%d * %d) !", path(), width, height);
            return 0;
        }
        t_.ulog = texture_log2(width);
        t_.usize = width;
        t_.vsize = height;
        if (stored < TEXTURE_LEVELS) {
            print_format(P_ERROR, "load_cmt(%s): %d mipmaps required (%d found) !", path(), TEXTURE_LEVELS, stored);
            return 0;
        }
        return 1;
    }

    int32_t levels() const override { return TEXTURE_LEVELS; }

    void level_size(int level, int32_t& width, int32_t& height) const override
    {
        width = t_.usize >> level;
        height = t_.vsize >> level;
    }

    int palette(FileStream* stream) override
    {
        if (alloc_palette(t_, owner_) == 0 || palette_read(t_.palette, stream, 0) == 0) {
            return 0;
        }
        palette_halve(t_.palette);
        return 1;
    }

    int level(int i, FileStream* stream, int32_t width, int32_t height) override
    {
        TexelMap& map = t_.levels[i];
        return (t_.flags & TEXTURE_TRANSPARENT) != 0 ? texel_map_load_transparent(map, owner_, stream, width, height)
                                                      : texel_map_load(map, owner_, stream, width, height);
    }

    int alpha(int i, FileStream* stream, int32_t width, int32_t height) override
    {
        return texel_map_load_alpha(t_.levels[i], stream, width, height);
    }

    Texture& t_;
    CacheOwner* owner_;
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

} // namespace

int load_cmt(Texture& texture, const char* path, CacheOwner* owner)
{
    texture_clear(texture);
    FileStream* const stream = open_binary(path);
    if (stream == nullptr) {
        return 0;
    }
    SoftCmtReader reader(texture, path, owner);
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
    char path[TEXTURE_PATH_MAX];
    if (texture_file_path(path, gfx_path, resource, file, "cmt") && load_cmt(texture, path, owner) != 0) {
        return 1;
    }
    return texture_file_path(path, gfx_path, resource, file, "cel") && load_cel(texture, path, owner) != 0 ? 1 : 0;
}
