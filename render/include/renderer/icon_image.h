#pragma once
// Icons and pictures: 8-bit palettised images from the chunked files
// "pictures/<size directory>/<name>.cic" (form "ICON": a palette index and an
// alpha byte a pixel) and ".cpc" (form "PICT": a palette index a pixel).
// Palettes are converted to the screen's rgb_layout; an icon's palette holds
// every component halved, as the icon row drawers expect.
#include <cstdint>

class CacheOwner;
class ScreenManager;

constexpr uint32_t ICON_HAS_ALPHA = 0x1;
// Largest side: steps of (side << 16) / screen width must fit in 32 bits.
constexpr int32_t ICON_MAX_SIDE = 32767;
constexpr int32_t ICON_PLACEHOLDER_SIDE = 4;
constexpr uint32_t ICON_PLACEHOLDER_ALPHA = 10;

struct IconImage {
    IconImage() = default;
    ~IconImage();
    IconImage(const IconImage&) = delete;
    IconImage& operator=(const IconImage&) = delete;

    // Frees the bitmap and the palette.
    void release();
    // A 4 x 4 checkerboard in place of a picture that can't be loaded.
    void make_placeholder(CacheOwner* owner, const ScreenManager* mgr, int is_icon);

    uint8_t* bitmap = nullptr; // rows of width pixels of 2 (icon) or 1 (picture) bytes
    int32_t width = 0;
    int32_t height = 0;
    uint32_t* palette = nullptr; // 256 entries in the screen's layout
    uint32_t flags = 0;
};

// Reads the picture file into the image; 1, or 0 after printing why (nothing
// is printed when no size directory holds the file). Blocks are cacheable
// blocks of `owner` while a heap exists.
int load_icon(IconImage& image, CacheOwner* owner, const ScreenManager* mgr, const char* name, int is_icon);
