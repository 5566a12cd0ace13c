#include "renderer/texture_levels.h"

#include "core/kassert.h"
#include "world/view/palette.h"
#include "renderer/texel_map.h"
#include "world/view/texture_memory.h"

#include <bit>

bool texture_size_valid(int32_t size)
{
    return size >= TEXTURE_MIN_SIZE && size <= TEXTURE_MAX_SIZE && std::has_single_bit(static_cast<uint32_t>(size));
}

int32_t texture_log2(int32_t size) { return std::bit_width(static_cast<uint32_t>(size)) - 1; }

void texture_init(Texture& texture) { texture = Texture{}; }

void texture_clear(Texture& texture)
{
    texture_free(texture.palette);
    texture.palette = nullptr;
    for (TexelMap& level : texture.levels) {
        texel_map_free(level);
        texel_map_init(level);
    }
    texture.mipmaps = 0;
}

namespace {

// Sets the sizes and makes the levels; the caller has cleared the texture.
int create_levels(Texture& texture, CacheOwner* owner, int32_t usize, int32_t vsize, uint32_t flags,
                  const char* name)
{
    K_ASSERT(usize <= TEXTURE_MAX_SIZE && vsize <= TEXTURE_MAX_SIZE);
    texture.mipmaps = TEXTURE_LEVELS;
    texture.ulog = texture_log2(usize);
    K_ASSERT(1 << texture.ulog == usize);
    texture.usize = usize;
    texture.vsize = vsize;
    texture.flags = flags;
    for (int i = 0; i < TEXTURE_LEVELS; ++i) {
        if (texel_map_create(texture.levels[i], owner, usize >> i, vsize >> i, flags & TEXTURE_TRANSPARENT, name) ==
            0) {
            return 0;
        }
    }
    return 1;
}

} // namespace

int texture_create(Texture& texture, int32_t usize, int32_t vsize, uint32_t flags)
{
    texture_clear(texture);
    if (create_levels(texture, nullptr, usize, vsize, flags, "Texture") == 0) {
        texture_clear(texture);
        return 0;
    }
    return 1;
}

int texture_create_cleared(Texture& texture, CacheOwner* owner, int32_t usize, int32_t vsize)
{
    texture_clear(texture);
    texture.palette = static_cast<uint32_t*>(texture_alloc(PALETTE_ENTRIES * sizeof(uint32_t), owner, "TexturePalette"));
    if (texture.palette == nullptr || create_levels(texture, owner, usize, vsize, 0, "ClearedTexture") == 0) {
        texture_clear(texture);
        return 0;
    }
    palette_fill_grey(texture.palette);
    return 1;
}

void texture_convert_palette(Texture& texture, const uint8_t layout[4])
{
    K_ASSERT(layout);
    if (texture.palette != nullptr) {
        palette_convert(texture.palette, layout);
    }
}
