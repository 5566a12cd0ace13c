#pragma once
// Texture: a texture of the OpenGL program. It keeps its palette-indexed
// mip levels and its palette in memory and reaches GL through the texture
// cache: binding converts the levels to RGBA and uploads them only when the
// cache lost the texture or its texels changed.
#include "gl/gl_texture_manager.h"

#include <cstdint>

class CacheOwner;

constexpr int TEXTURE_LEVELS = 10;
constexpr int32_t TEXTURE_MAX_SIZE = 256;
constexpr uint32_t TEXTURE_TRANSPARENT = 1; // two-byte texels: palette index, then alpha

// One level: width x height texels of one byte, or two when transparent,
// row after row. With GL_SquareTextures the block is allocated square (the
// longer side squared) and the texels still fill its start row by row.
struct TexelMap {
    uint8_t* texels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

class Texture {
public:
    Texture() = default;
    ~Texture() { release(); }
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Cleared levels from width x height halving down to 1 x 1 and a
    // palette when it has none; 1, or 0 with a message and nothing held for
    // a width that is no power of two or a side outside 1..256 (the texture
    // then stays as it was).
    int create_levels(int32_t width, int32_t height);
    // The same with a cleared palette.
    int create_blank(int32_t width, int32_t height);
    // A palette of 256 entries when there is none; 1, or 0 when memory ran out.
    int alloc_palette();
    // The texels of one level, zeroed, of the texel size the flags give;
    // 1, or 0 when memory ran out.
    int alloc_level(int level, int32_t width, int32_t height);
    // Binds the texture and uploads it when needed; 0 when it can't be drawn.
    int bind();
    // Gives the GL name back and frees the palette and levels.
    void release();

    GLTextureOwner owner;
    uint32_t dirty = 1;
    TexelMap levels[TEXTURE_LEVELS];
    int32_t mipmaps = 0;
    uint32_t* palette = nullptr; // 256 entries: red, green, blue, fourth byte
    int32_t usize = 0;
    int32_t ulog = 0;
    int32_t vsize = 0;
    uint32_t flags = 0;
    const char* name = ""; // for messages
    int32_t kind = 0;      // what it was loaded for (TEXTURE_KIND_*)
    // Whose cacheable blocks the palette and levels are; without one they
    // are persistent blocks of the heap, or of the general heap without a heap.
    CacheOwner* memory_owner = nullptr;

private:
    bool transparent_levels = false; // the texel size the levels were made with
    void free_levels();
    int refuse(const char* why);
};

// Brightness: each colour byte of the 256 entries times factor, at most 255.
void scale_palette(uint32_t* palette, float factor);
