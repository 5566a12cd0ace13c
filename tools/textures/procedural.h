#pragma once
// Procedural textures of our own that the map generator, the demo and the
// renderer tests name as "ostrel:<name>", and the fallback "none:none".
#include "tools/textures/texture_writer.h"

#include <string>
#include <vector>

namespace tools {

constexpr const char* PROCEDURAL_RESOURCE = "ostrel";

// 64 x 64 squares of 8 texels in two greys.
TextureImage make_checker(int size = 64, int square = 8);
// Bricks of 32 x 16 with mortar, rows offset by half a brick.
TextureImage make_brick(int size = 128);
// Smooth value noise in a brown ramp; seed picks the pattern.
TextureImage make_noise(int size = 128, uint32_t seed = 1);
// Clouds in a blue ramp; seed picks the pattern. Named "sky" and one of
// b, t, n, e, s, w (box sides) or 1, 2 (dome layers).
TextureImage make_sky(int size = 128, uint32_t seed = 20);
// 256 x 256 texels in 16 x 16 cells: the texel at (u, v) has palette entry
// (v / 16) * 16 + u / 16, whose red is 16 * (u / 16) + 8 and green
// 16 * (v / 16) + 8, so a drawn pixel tells which texel it came from.
TextureImage make_uv_grid();
// Alpha: bars with see-through holes (alpha 0 or 255).
TextureImage make_grate(int size = 64);
// Alpha: a tinted pane of constant alpha 128.
TextureImage make_glass(int size = 32);
// Alpha: a ring fading out towards its edges.
TextureImage make_ring(int size = 64);
// The fallback: magenta and black squares.
TextureImage make_missing();

struct NamedTexture {
    std::string resource;
    std::string name;
    TextureImage image;
    bool cel = false; // written as ".cel" instead of ".cmt"
};

// Everything texgen writes, except the sequence.
std::vector<NamedTexture> procedural_textures();
// The animated texture "ostrel:blink": frames blink0..blink2 (also in the
// list above), 0.25 s each, looping from frame 0.
std::vector<SequenceFrame> blink_sequence();

// Writes every texture under "<directory>/textures/<resource>/<name>.cmt"
// (or ".cel"), and the sequence; false on the first failure.
bool write_procedural_textures(const std::string& directory);

} // namespace tools
