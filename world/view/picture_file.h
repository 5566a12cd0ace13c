#pragma once
// Picture files as both programs read them: the chunked files
// "pictures/<size directory>/<name>.cic" (form "ICON": a palette index and an
// alpha byte a pixel) and ".cpc" (form "PICT": a palette index a pixel):
//   "HEAD" u32 width, u32 height, before "DATA" and "ALPH"
//   "PAL8" 256 x {r, g, b}
//   "DATA" width x height palette indices, rows top first
//   "ALPH" width x height alpha bytes (icons only, and required for them)
// Other chunks are skipped; each one may appear once.
#include <cstdint>

class CacheOwner;
class FileStream;

struct PictureRules {
    int is_icon = 0;
    // Icons: 0 keeps each pixel's index and alpha side by side (two bytes a
    // pixel), 1 puts the whole alpha plane behind the whole index plane.
    int alpha_plane = 0;
    int32_t max_side = 0; // larger widths or heights are refused
    // Printed with the name when the form is not the one asked for.
    const char* wrong_form = "load_icon(%s): Wrong file type";
};

// The blocks a read fills; cacheable blocks of the owner while a heap exists.
struct PictureBlocks {
    uint8_t*& bitmap;
    uint32_t*& palette; // file order: r | g << 8 | b << 16 | g << 24
    int32_t& width;
    int32_t& height;
};

// The bitmap of 2 (icon) or 1 byte a pixel, and the 256-entry palette.
uint8_t* picture_alloc_bitmap(int64_t pixels, int is_icon, CacheOwner* owner);
uint32_t* picture_alloc_palette(CacheOwner* owner);

// Reads the attached file; 1, or 0 after printing why with `name`. Blocks
// already allocated stay in `blocks` for the caller to free.
int read_picture(FileStream* f, const char* name, const PictureRules& rules, CacheOwner* owner,
                 const PictureBlocks& blocks);

// Opens the file of the size directory nearest to the screen and reads it:
// 0 without a message when no size directory holds it.
int load_sized_picture(const char* name, const PictureRules& rules, int32_t xres, int32_t yres,
                       CacheOwner* owner, const PictureBlocks& blocks);
