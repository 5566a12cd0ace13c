#pragma once
// ".cmt" texture files as the OpenGL program reads them: a chunked file of
// form "MIPT" (opaque) or "MAPT" (with alpha):
//   "HEAD" u32 width, u32 height, u32 levels stored
//   "PAL8" 256 x {r, g, b}
//   "DATA" every level of palette indices, level i of the halved size
//   "ALPH" ("MAPT" only) every level of alpha bytes
// Sides are at most 256, the width a power of two, and the levels a whole
// chain down to 1 in the longer direction.
#include "renderer/texture.h"

class CacheOwner;

// 1, or 0 with the texture released and a message naming the file.
int load_cmt(Texture& texture, const char* path, CacheOwner* owner = nullptr);
// Loads "gfx/resource/file.cmt" ("gfx/file.cmt" for an empty resource); 1 when it loaded.
int find_texture_file(Texture& texture, const char* gfx_path, const char* resource, const char* file,
                      CacheOwner* owner = nullptr);
