// Loads any bytes as a font and draws every character code with it at places
// on and off a small frame: nothing may be read or written out of bounds.
#include "fuzz/world/fuzz_world_files.h"
#include "render/gd_font.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::WorldFiles files;
    if (!files.put("fuzz.fnt", data, size)) {
        return 0;
    }
    GD_Font font;
    if (font.load("fuzz.fnt") == 0) {
        return 0;
    }
    constexpr int32_t W = 24;
    constexpr int32_t H = 16;
    std::vector<uint32_t> frame(static_cast<size_t>(W * H), 0x11223344);
    std::vector<int32_t> offsets;
    for (int32_t y = 0; y < H; ++y) {
        offsets.push_back(y * W);
    }
    font.set_target(W, H, offsets.data(), 0x80808080);
    char text[256];
    for (int i = 0; i < 255; ++i) {
        text[i] = static_cast<char>(i + 1);
    }
    text[255] = '\0';
    const int32_t places[][2] = {{0, 0}, {-5, -3}, {20, 12}, {-300, 2}, {3, -40}};
    for (const auto& p : places) {
        font.draw_string(frame.data(), p[0], p[1], text);
    }
    (void)font.measure(text);
    return 0;
}
