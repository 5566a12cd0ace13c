#pragma once
// The two texture file formats, read through the file system.
//
// ".cmt": a chunked file of form "MIPT" (opaque) or "MAPT" (with alpha):
//   "HEAD" u32 width, u32 height, u32 levels stored (at least 5)
//   "PAL8" 256 x {r, g, b}
//   "DATA" the 5 levels of palette indices, level i (width >> i) x (height >> i)
//   "ALPH" ("MAPT" only) the 5 levels of alpha bytes
// ".cel": u16 width at 2, u16 height at 4, 256 x 6-bit {r, g, b} at 32, the 5
// levels of palette indices at 800.
// Sides are powers of two from 16 to 256. Palettes are stored halved, in file
// order. The texture's blocks belong to `owner` (null: the general heap).
#include "renderer/texture.h"

#include <cstdint>

class CacheOwner;

// 1, or 0 with the texture cleared: silently when the file is missing, with
// an error naming the file when it is bad.
int load_cmt(Texture& texture, const char* path, CacheOwner* owner = nullptr);
int load_cel(Texture& texture, const char* path, CacheOwner* owner = nullptr);
// Tries "gfx/resource/file.cmt" ("gfx/file.cmt" for an empty resource), then
// the same with ".cel". 1 when one loaded.
int find_texture_file(Texture& texture, const char* gfx_path, const char* resource, const char* file,
                      CacheOwner* owner = nullptr);

// What the shared texture resource asks of each program. Every kind lies
// under "textures" here, and palettes are halved as they are read, so the
// kind changes nothing.
inline const char* texture_directory(int32_t) { return "textures"; }
inline int find_texture_file(Texture& texture, const char* gfx_path, const char* resource, const char* file, int32_t,
                             CacheOwner* owner)
{
    return find_texture_file(texture, gfx_path, resource, file, owner);
}
inline void texture_brightness(Texture&, int32_t) {}
