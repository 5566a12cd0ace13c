#pragma once
// IconPicture of the OpenGL program: a named icon whose image lives in the
// heap's cacheable area (its palette-index bitmap followed by its alpha
// plane, and its palette) and reaches GL as an RGBA texture with power-of-
// two sides, rebuilt whenever the texture cache dropped it.
#include "core/cache_owner.h"
#include "gl/gl_texture_manager.h"

#include <cstdint>

constexpr int ICON_NAME_LEN = 8;

class IconPicture : public CacheOwner {
public:
    IconPicture() = default;
    ~IconPicture() override;

    // At most 8 characters; is_icon 1 for ".cic", 0 for ".cpc".
    void set_name(const char* n, int is_icon);
    // argument: the ScreenManager. Always 1.
    int load(uintptr_t argument) override;
    void drop() override { release(); }
    // Gives the texture back and frees the bitmap and the palette.
    void release();

    const char* name() const { return name_; }
    int is_icon() const { return is_icon_; }

    GLTextureOwner owner;
    uint8_t* bitmap = nullptr;   // width x height indices, then width x height alpha bytes
    uint32_t* palette = nullptr; // 256 entries: red, green, blue in the low bytes
    int32_t width = 0;
    int32_t height = 0;
    int32_t texture_width = 0; // powers of two
    int32_t texture_height = 0;
    float s_extent = 0.0f; // width / texture width
    float t_extent = 0.0f;

private:
    char name_[ICON_NAME_LEN + 1] = {};
    int is_icon_ = 0;
};
