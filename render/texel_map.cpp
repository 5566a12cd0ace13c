#include "renderer/texel_map.h"

#include "fsys/file_stream.h"
#include "world/view/texture_memory.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

size_t map_bytes(int32_t width, int32_t height, uint32_t flags)
{
    const size_t texel = (flags & TEXTURE_TRANSPARENT) != 0 ? 2 : 1;
    return static_cast<size_t>(width) * static_cast<size_t>(height + 1) * texel;
}

int allocate(TexelMap& map, CacheOwner* owner, int32_t width, int32_t height, uint32_t flags, const char* name)
{
    texel_map_free(map);
    map.texels = static_cast<uint8_t*>(texture_alloc(map_bytes(width, height, flags), owner, name));
    if (map.texels == nullptr) {
        return 0;
    }
    map.width = width;
    map.height = height;
    map.flags = flags;
    map.bounds[0] = 0;
    map.bounds[1] = width;
    map.bounds[2] = 0;
    map.bounds[3] = height;
    return 1;
}

} // namespace

void texel_map_init(TexelMap& map) { map = TexelMap{}; }

int32_t texel_bytes(const TexelMap& map) { return (map.flags & TEXTURE_TRANSPARENT) != 0 ? 2 : 1; }

int texel_map_create(TexelMap& map, CacheOwner* owner, int32_t width, int32_t height, uint32_t flags,
                     const char* name)
{
    if (allocate(map, owner, width, height, flags, name) == 0) {
        return 0;
    }
    std::memset(map.texels, 0, map_bytes(width, height, flags));
    return 1;
}

int texel_map_load(TexelMap& map, CacheOwner* owner, FileStream* stream, int32_t width, int32_t height)
{
    if (allocate(map, owner, width, height, 0, "TexelMap") == 0) {
        return 0;
    }
    if (stream->read(map.texels, static_cast<size_t>(width), static_cast<size_t>(height)) !=
        static_cast<size_t>(height)) {
        return 0;
    }
    texel_map_repeat_first_row(map);
    return 1;
}

int texel_map_load_transparent(TexelMap& map, CacheOwner* owner, FileStream* stream, int32_t width,
                               int32_t height)
{
    if (allocate(map, owner, width, height, TEXTURE_TRANSPARENT, "TransparentMap") == 0) {
        return 0;
    }
    // The indices arrive in the first half and spread backwards, so that no
    // index is overwritten before it moved.
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (stream->read(map.texels, static_cast<size_t>(width), static_cast<size_t>(height)) !=
        static_cast<size_t>(height)) {
        return 0;
    }
    for (size_t i = count; i-- > 0;) {
        map.texels[2 * i] = map.texels[i];
        map.texels[2 * i + 1] = 0;
    }
    texel_map_repeat_first_row(map);
    map.bounds[0] = width;
    map.bounds[1] = 0;
    map.bounds[2] = height;
    map.bounds[3] = 0;
    return 1;
}

int texel_map_load_alpha(TexelMap& map, FileStream* stream, int32_t width, int32_t height)
{
    if (map.texels == nullptr || map.width != width || map.height != height || map.flags != TEXTURE_TRANSPARENT) {
        return 0;
    }
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        if (stream->read(row.data(), 1, row.size()) != row.size()) {
            return 0;
        }
        uint8_t* const out = map.texels + 2 * static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            out[2 * x + 1] = row[static_cast<size_t>(x)];
            if (row[static_cast<size_t>(x)] != 0) {
                map.bounds[0] = std::min(map.bounds[0], x);
                map.bounds[1] = std::max(map.bounds[1], x + 1);
                map.bounds[2] = std::min(map.bounds[2], y);
                map.bounds[3] = std::max(map.bounds[3], y + 1);
            }
        }
    }
    texel_map_repeat_first_row(map);
    return 1;
}

void texel_map_repeat_first_row(TexelMap& map)
{
    const size_t row = static_cast<size_t>(map.width) * static_cast<size_t>(texel_bytes(map));
    std::memcpy(map.texels + row * static_cast<size_t>(map.height), map.texels, row);
}

void texel_map_free(TexelMap& map)
{
    texture_free(map.texels);
    map.texels = nullptr;
}
