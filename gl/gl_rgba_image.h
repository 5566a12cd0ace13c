#pragma once
// Images that reach GL as one RGBA texture through the texture cache (the
// font atlas, icons and pictures): built only when the cache has no texture
// for their owner.
#include "gl/gl_bind.h"
#include "gl/gl_texture_manager.h"

#include <cstddef>
#include <cstdint>
#include <new>

// Binds the owner's texture. When the cache had dropped it, `fill` writes a
// cleared width x height image (four bytes a texel: red, green, blue, alpha
// in memory order), which is sent as `kind`. 1 when the texture is bound, 0
// when it can't be (no cache running, no memory).
template <typename Fill>
int bind_rgba_image(GLTextureOwner& owner, int32_t width, int32_t height, int kind, Fill fill)
{
    const int r = owner.activate();
    if (r != 0) {
        return r > 0 ? 1 : 0;
    }
    uint32_t* const image = new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)]();
    if (image == nullptr) {
        owner.release();
        return 0;
    }
    fill(image);
    GLSys::send_texture(image, width, height, kind);
    delete[] image;
    return 1;
}
