#pragma once
// IconPicture of the OpenGL program: a named icon (".cic") or picture
// (".cpc") whose image lives in the heap's cacheable area (the palette-index
// plane, for an icon followed by its alpha plane, and the palette) and
// reaches GL as an RGBA texture with power-of-two sides, built again whenever
// the texture cache dropped it. An icon is uploaded at its own size (sides
// below 256); a picture is the screen's backdrop and is uploaded scaled to
// the screen, one texel a pixel, as the software program scales it.
// A file that can't be loaded shows a 4 x 4 checkerboard instead.
#include "core/cache_owner.h"
#include "gl/gl_texture_manager.h"

#include <cstdint>

class ScreenManager;

constexpr int ICON_NAME_LEN = 8;
constexpr int32_t ICON_MAX_SIDE = 255;
constexpr int32_t PICTURE_MAX_SIDE = 32767;
constexpr int32_t ICON_PLACEHOLDER_SIDE = 4;
constexpr uint32_t ICON_PLACEHOLDER_ALPHA = 128;

class IconPicture : public CacheOwner {
public:
    IconPicture() = default;
    ~IconPicture() override;

    // At most 8 characters; is_icon 1 for ".cic", 0 for ".cpc".
    void set_name(const char* n, int is_icon);
    // argument: the ScreenManager. Always 1: a picture that can't be loaded
    // becomes the placeholder, with a warning.
    int load(uintptr_t argument) override;
    void drop() override { release(); }
    // Gives the texture back and frees the bitmap and the palette.
    void release();
    // The 4 x 4 checkerboard, alpha 128.
    void make_placeholder();
    // Binds the texture, building it when the cache dropped it; 0 when it
    // can't be drawn.
    int upload();

    const char* name() const { return name_; }
    int is_icon() const { return is_icon_; }

    GLTextureOwner owner;
    uint8_t* bitmap = nullptr;   // width x height indices, then (icon) width x height alpha bytes
    uint32_t* palette = nullptr; // 256 entries: red, green, blue in the low bytes
    int32_t width = 0;
    int32_t height = 0;
    int32_t texture_width = 0; // powers of two
    int32_t texture_height = 0;
    float s_extent = 0.0f; // used part of the texture: width / texture width
    float t_extent = 0.0f;
    // A picture's size on the screen it was loaded for.
    int32_t screen_width = 0;
    int32_t screen_height = 0;

    // Texture sides, extents and the owner's size: an icon's own size, a
    // picture's screen.
    void size_texture();

private:
    char name_[ICON_NAME_LEN + 1] = {};
    int is_icon_ = 0;
};

// Reads the file of the size directory nearest to the screen; 1, or 0 after
// printing why (nothing when no size directory holds it).
int load_icon(IconPicture& picture, const ScreenManager* screen, const char* name);
