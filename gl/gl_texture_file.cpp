#include "renderer/texture_file.h"

#include "renderer/texture_levels.h"

// Files are not read yet: every texture falls back to the blank one.
int load_cmt(Texture& texture, const char*, CacheOwner*)
{
    texture.release();
    return 0;
}

int find_texture_file(Texture& texture, const char*, const char*, const char*, CacheOwner*)
{
    texture.release();
    return 0;
}

int texture_create_cleared(Texture& texture, CacheOwner*, int32_t usize, int32_t vsize)
{
    return texture.create_blank(usize, vsize);
}
