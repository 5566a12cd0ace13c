#pragma once
// An algorithmic texture: a source texture scrolled at a constant speed and,
// in a warp mode, regenerated once per tick by a WarpTexture. The variable
// "R_AlgoTextures" turns the warp off and leaves the scroll.
#include "world/view/texture_slot.h"
#include "world/view/warp_texture.h"

#include <cstdint>

class ConfigVariable;

// 16.16 texels per tick for one texel per second.
constexpr double SCROLL_PER_TEXEL_SECOND = 65536.0 / 70.0;
constexpr uint32_t SCROLL_MASK = 0xFFFFFF; // offsets wrap every 256 texels

class AlgoTexture {
public:
    AlgoTexture() = default;
    virtual ~AlgoTexture() { release(); }
    AlgoTexture(const AlgoTexture&) = delete;
    AlgoTexture& operator=(const AlgoTexture&) = delete;

    // Speeds in texels per second; mode and p1-p4 as WarpTexture::set_params.
    // 1, or 0 when the variable cannot be linked, the source has no texture
    // or the warped texture cannot be made.
    int init(TextureAnim* source, float speed_u, float speed_v, uint32_t mode, float p1, float p2, float p3,
             float p4);
    // The texture to draw at the client's tick count, generated at most once
    // a tick; scroll_u and scroll_v hold the offsets afterwards.
    Texture* update(int32_t ticks);
    // Whether the texture the last update gave is still in memory: loading
    // other textures may have made the heap drop its source.
    bool resident() const;
    void release();

    TextureAnim* source = nullptr;
    int32_t speed_u = 0; // 16.16 texels per tick
    int32_t speed_v = 0;
    WarpTexture* warped = nullptr; // null in mode 0
    int32_t last_ticks = -1;
    Texture* result = nullptr;
    int32_t scroll_u = 0; // 16.16 texels
    int32_t scroll_v = 0;

private:
    ConfigVariable* enabled_ = nullptr; // "R_AlgoTextures"
};
