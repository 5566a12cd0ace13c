#pragma once
// ".cmt" texture files as the OpenGL program reads them (the layout is in
// world/view/cmt_reader.h): sides of at most 256 texels and powers of two,
// and the levels the whole chain down to 1 x 1 ((side + 1) / 2 each step).
// Palettes are kept as read; brightness is applied by kind once loaded.
#include "renderer/texture.h"

#include <cstdint>

class CacheOwner;
class FileStream;

// 1, or 0 with the texture released: silently when the file is missing,
// with a message naming the file when it is refused. On success the size
// reported to the texture cache is 3 x usize x vsize and the texture is dirty.
// The palette and levels belong to `owner` (null: persistent blocks).
int load_cmt(Texture& texture, const char* path, CacheOwner* owner = nullptr);
// Loads "gfx/resource/file.cmt" ("gfx/file.cmt" for an empty resource),
// recording the kind; 1 when it loaded.
int find_texture_file(Texture& texture, const char* gfx_path, const char* resource, const char* file, int32_t kind,
                      CacheOwner* owner = nullptr);
// The folder of a texture resource: "models" for model skins, else "textures".
const char* texture_directory(int32_t kind);
// The palette factor of a texture of that kind and flags: R_Gamma, x 1.5 for
// model skins, x 2 for opaque map surfaces while GL_Overbright is off.
float texture_brightness_factor(int32_t kind, uint32_t flags);
// Scales a loaded texture's palette by its factor; once, at load.
void texture_brightness(Texture& texture, int32_t kind);
// 256 x {r, g, b}, each byte shifted left by `shift`, packed as PAL8 entries
// are (r | g << 8 | b << 16 | g << 24); 1 when all 768 bytes were read.
int read_palette(uint32_t* palette, FileStream* stream, int shift);
