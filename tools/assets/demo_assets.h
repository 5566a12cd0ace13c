#pragma once
// The demo base directory's screen assets: the font "small.fnt", the
// background "backgrnd" and loader "loading" pictures and the icon "marker",
// in the size directories size01, size04 and size07; and the sprite
// "textures/sprites/glow.cmt", a glow with alpha.
#include "tools/assets/picture_writer.h"
#include "tools/textures/texture_writer.h"

#include <string>

namespace tools {

PictureDesign demo_background(uint32_t width, uint32_t height);
PictureDesign demo_loader(uint32_t width, uint32_t height);
PictureDesign demo_marker(uint32_t side);
TextureImage demo_glow(int side);

// False, after printing why, when a file can't be written.
bool write_demo_assets(const std::string& base);

} // namespace tools
