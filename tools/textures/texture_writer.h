#pragma once
// Writers of the engine's texture files, from level-0 images: ".cmt" of the
// forms "MIPT" (opaque), "MAPT" (with alpha) and "MIPS" (a frame sequence),
// and ".cel". They share no code with the engine's readers.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

// ".cel" files hold five levels; ".cmt" files hold the whole chain, down to
// 1 x 1, which both programs' readers take.
constexpr int TEXTURE_FILE_LEVELS = 5;
// 1 + log2 of the longer side: the levels of a whole chain of a power-of-two image.
int whole_chain_levels(int width, int height);

// An 8-bit palette image; alpha empty for an opaque one.
struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> index;           // width x height, rows top to bottom
    std::vector<uint8_t> alpha;           // the same size, or empty
    std::array<uint8_t, 768> palette = {}; // r, g, b of each entry, 8 bits
};

// The first `count` levels, level i max(1, width >> i) x max(1, height >> i):
// each texel of a level the palette entry nearest the mean colour of its
// (up to four) parents.
std::vector<std::vector<uint8_t>> index_levels(const TextureImage& image, int count = TEXTURE_FILE_LEVELS);
// The alpha levels, means of their parents.
std::vector<std::vector<uint8_t>> alpha_levels(const TextureImage& image, int count = TEXTURE_FILE_LEVELS);

// Chunk contents, for writing damaged files in tests.
std::vector<uint8_t> head_data(uint32_t width, uint32_t height, uint32_t levels);
std::vector<uint8_t> palette_data(const std::array<uint8_t, 768>& palette);
std::vector<uint8_t> levels_data(const std::vector<std::vector<uint8_t>>& levels);

// "MIPT", or "MAPT" when the image has alpha; the whole chain of levels.
std::vector<uint8_t> cmt_bytes(const TextureImage& image);
// Palette components stored with 6 bits (the top six of each).
std::vector<uint8_t> cel_bytes(const TextureImage& image);

struct SequenceFrame {
    std::string name; // up to 8 characters, a texture of the same resource
    float seconds = 0.0f;
};
// "MIPS": frames in order, loop start (negative: no loop).
std::vector<uint8_t> mips_bytes(const std::vector<SequenceFrame>& frames, int32_t loop_start);
std::vector<uint8_t> frame_list_data(const std::vector<SequenceFrame>& frames);

} // namespace tools
