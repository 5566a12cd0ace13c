#include "renderer/texture.h"
#include "renderer/texture_levels.h"

#include "core/config_variable.h"
#include "core/kheap.h"
#include "core/print.h"
#include "gl/gl_bind.h"
#include "world/view/texture_memory.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr int PALETTE_ENTRIES = 256;
// Levels of the largest texture: 256 x 256 down to 1 x 1.
constexpr int BUFFER_LEVELS = 9;

// The RGBA conversion buffers shared by every upload, one per level.
uint8_t* conversion_buffer(int level)
{
    static std::vector<uint8_t> buffers[BUFFER_LEVELS];
    if (buffers[level].empty()) {
        const size_t side = static_cast<size_t>(TEXTURE_MAX_SIZE >> level);
        buffers[level].resize(side * side * 4u);
    }
    return buffers[level].data();
}

void* texture_block(size_t bytes, CacheOwner* owner, const char* name)
{
    void* const block =
        owner != nullptr ? texture_alloc(bytes, owner, name) : kheap_alloc(bytes, KHEAP_FROM_BOTTOM, name);
    if (block != nullptr) {
        std::memset(block, 0, bytes);
    }
    return block;
}

bool square_textures()
{
    const ConfigVariable* const v = GLSys::variable(GLSys::V_SQUARE_TEXTURES);
    return v != nullptr && v->is_true();
}

bool power_of_two(int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

void convert_level(const TexelMap& map, const uint32_t* palette, bool transparent, uint8_t* out)
{
    const size_t texels = static_cast<size_t>(map.width) * static_cast<size_t>(map.height);
    const size_t step = transparent ? 2u : 1u;
    for (size_t i = 0; i < texels; ++i) {
        const uint32_t entry = palette[map.texels[i * step]];
        out[4 * i] = static_cast<uint8_t>(entry);
        out[4 * i + 1] = static_cast<uint8_t>(entry >> 8);
        out[4 * i + 2] = static_cast<uint8_t>(entry >> 16);
        out[4 * i + 3] = transparent ? map.texels[i * step + 1] : static_cast<uint8_t>(entry >> 24);
    }
}

} // namespace

int Texture::refuse(const char* why)
{
    print_format(P_ERROR, "Texture(%s): %s", name, why);
    return 0;
}

void Texture::free_levels()
{
    for (TexelMap& map : levels) {
        texture_free(map.texels);
        map = TexelMap{};
    }
    mipmaps = 0;
}

void Texture::release()
{
    owner.release();
    texture_free(palette);
    palette = nullptr;
    free_levels();
}

int Texture::alloc_palette()
{
    if (palette == nullptr) {
        palette = static_cast<uint32_t*>(
            texture_block(PALETTE_ENTRIES * sizeof(uint32_t), memory_owner, "TexturePalette"));
    }
    return palette != nullptr;
}

int Texture::alloc_level(int level, int32_t width, int32_t height)
{
    TexelMap& map = levels[level];
    texture_free(map.texels);
    map = TexelMap{};
    transparent_levels = (flags & TEXTURE_TRANSPARENT) != 0;
    const size_t side = static_cast<size_t>(width > height ? width : height);
    const size_t texels = square_textures() ? side * side : static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t bytes = texels * (transparent_levels ? 2u : 1u);
    map.texels = static_cast<uint8_t*>(texture_block(bytes, memory_owner, "TexelMap"));
    if (map.texels == nullptr) {
        return 0;
    }
    map.width = width;
    map.height = height;
    return 1;
}

int Texture::create_levels(int32_t width, int32_t height)
{
    if (!power_of_two(width) || width > TEXTURE_MAX_SIZE || height < 1 || height > TEXTURE_MAX_SIZE) {
        print_format(P_ERROR, "Texture(%s): size (%d * %d) refused", name, width, height);
        return 0;
    }
    owner.release();
    free_levels();
    const int n = texture_level_count(width, height);
    int32_t w = width;
    int32_t h = height;
    for (int i = 0; i < n; ++i) {
        if (alloc_level(i, w, h) == 0 || alloc_palette() == 0) {
            release();
            return refuse("Not enough memory");
        }
        w = (w + 1) / 2;
        h = (h + 1) / 2;
    }
    mipmaps = n;
    usize = width;
    ulog = texture_log2(width);
    vsize = height;
    owner.set_size(3 * width * height);
    dirty = 1;
    return 1;
}

int Texture::create_blank(int32_t width, int32_t height)
{
    texture_free(palette);
    palette = nullptr;
    return create_levels(width, height);
}

int Texture::bind()
{
    const int r = owner.activate();
    if (r < 0) {
        return 0;
    }
    if (r == 1 && dirty == 0) {
        return 1;
    }
    if (palette == nullptr || usize < 1 || usize > TEXTURE_MAX_SIZE || vsize < 1 || vsize > TEXTURE_MAX_SIZE ||
        mipmaps != texture_level_count(usize, vsize) || transparent_levels != ((flags & TEXTURE_TRANSPARENT) != 0)) {
        // Nothing went into the new name: give it back so the next bind retries.
        owner.release();
        return refuse("no palette or levels to upload");
    }
    const bool transparent = transparent_levels;
    const void* buffers[BUFFER_LEVELS] = {};
    int32_t w = usize;
    int32_t h = vsize;
    for (int i = 0; i < mipmaps; ++i) {
        if (levels[i].texels == nullptr || levels[i].width != w || levels[i].height != h) {
            owner.release();
            return refuse("a level without texels");
        }
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        uint8_t* const out = conversion_buffer(i);
        convert_level(levels[i], palette, transparent, out);
        buffers[i] = out;
    }
    if (r == 1) {
        GLSys::update_mipmaps(buffers, usize, vsize);
    } else {
        GLSys::send_mipmaps(buffers, usize, vsize, transparent ? GLTEX_RGBA : GLTEX_RGB);
    }
    dirty = 0;
    return 1;
}

void scale_palette(uint32_t* palette, float factor)
{
    if (palette == nullptr) {
        return;
    }
    // A factor of 256 already turns every non-zero byte white.
    const float bounded = std::isnan(factor) ? 0.0f : std::fmin(std::fmax(factor, 0.0f), 256.0f);
    const int64_t m = static_cast<int64_t>(bounded * 256.0f);
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        uint32_t entry = palette[i] & 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const int64_t v = static_cast<int64_t>((palette[i] >> shift) & 0xFFu) * m;
            entry |= static_cast<uint32_t>(v >= 65536 ? 255 : v / 256) << shift;
        }
        palette[i] = entry;
    }
}

int texture_level_count(int32_t width, int32_t height)
{
    int n = 1;
    while (width > 1 || height > 1) {
        width = (width + 1) / 2;
        height = (height + 1) / 2;
        ++n;
    }
    return n;
}

int32_t texture_log2(int32_t size)
{
    int32_t log = 0;
    while (log < 30 && (1 << log) < size) {
        ++log;
    }
    return log;
}

void texture_clear(Texture& texture) { texture.release(); }

int texture_create(Texture& texture, int32_t usize, int32_t vsize, uint32_t flags)
{
    texture.release();
    texture.flags = flags;
    if (texture.create_levels(usize, vsize) == 0) {
        return 0;
    }
    // Generated textures take their colours from their source.
    texture_free(texture.palette);
    texture.palette = nullptr;
    return 1;
}
