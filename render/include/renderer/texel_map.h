#pragma once
// Operations on one mip level (TexelMap of soft/texture.h). Every map has
// height + 1 rows: the extra row repeats row 0. Data comes from texture_alloc
// with the owner given (null: the general heap).
#include "renderer/texture.h"

#include <cstdint>

class CacheOwner;
class FileStream;

void texel_map_init(TexelMap& map);
// Zero texels (two bytes each with TEXTURE_TRANSPARENT), bounds the whole
// map. `name` names the block. 1, or 0 when the allocation fails.
int texel_map_create(TexelMap& map, CacheOwner* owner, int32_t width, int32_t height, uint32_t flags,
                     const char* name);
// Reads height rows of width palette indices; 0 when fewer were there.
int texel_map_load(TexelMap& map, CacheOwner* owner, FileStream* stream, int32_t width, int32_t height);
// The same into two-byte texels of alpha 0, bounds empty until alpha arrives.
int texel_map_load_transparent(TexelMap& map, CacheOwner* owner, FileStream* stream, int32_t width,
                               int32_t height);
// Reads width x height alpha bytes into a transparent map of that size and
// widens its bounds around every visible texel; 0 on a map of another size or
// kind, or when the data is short.
int texel_map_load_alpha(TexelMap& map, FileStream* stream, int32_t width, int32_t height);
// Copies row 0 into the extra row after the texels changed.
void texel_map_repeat_first_row(TexelMap& map);
// After a generator rewrote a level's texels.
inline void texels_rewritten(Texture&, TexelMap& map) { texel_map_repeat_first_row(map); }
int32_t texel_bytes(const TexelMap& map);
void texel_map_free(TexelMap& map);
