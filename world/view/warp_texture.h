#pragma once
// A texture regenerated from a source every tick by displacing the source's
// texels along a travelling sine wave (water, lava, sky).
#include "world/view/palette.h"
#include "renderer/texture.h"

#include <cstdint>

constexpr int WARP_TABLE = 256;        // one period of the wave
constexpr uint32_t WARP_MODE_NONE = 0; // the source unchanged
constexpr uint32_t WARP_MODE_SINE = 1; // any other mode keeps the last texels

struct WarpTexture : Texture {
    WarpTexture() : Texture{} {}
    // Frees the levels; the palette is this texture's own copy.
    ~WarpTexture();
    WarpTexture(const WarpTexture&) = delete;
    WarpTexture& operator=(const WarpTexture&) = delete;

    // p1 wavelength (sets the phase step per texel), p2 amplitude in texels,
    // p3 wave speed (phase units per tick / 4), p4 alpha gain of transparent
    // textures. The sine mode fills the tables from the engine's sine table.
    void set_params(uint32_t mode, float p1, float p2, float p3, float p4);
    // The texture to draw at `ticks`: the source in mode 0, and in the sine
    // mode this texture regenerated. A source whose size or kind differs from
    // the one this was made for is returned unwarped.
    Texture* generate(Texture* source, int32_t ticks);
    // Copies the source's colours (none when it has no palette). The source's
    // palette lies in cacheable blocks that the heap may drop before this
    // texture is drawn, so it is never borrowed.
    void take_palette(const Texture& source);

    uint32_t mode = WARP_MODE_NONE;
    float wavelength = 0.0f;
    float amplitude = 0.0f;
    float wave_speed = 0.0f;
    float alpha_gain = 0.0f;
    int32_t wave[WARP_TABLE] = {};   // displacement in 8.8 texels
    int32_t wobble[WARP_TABLE] = {}; // phase wobble along a row

private:
    void generate_level(const TexelMap& from, TexelMap& to, int32_t ticks);
    bool size_warned_ = false;
    uint32_t colours_[PALETTE_ENTRIES] = {};
};
