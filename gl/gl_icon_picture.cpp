#include "renderer/icon_picture.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "gl/gl_rgba_image.h"
#include "platform/video_mode.h"
#include "renderer/screen_manager.h"
#include "world/view/palette.h"
#include "world/view/picture_file.h"

#include <cstring>

namespace {

int32_t power_of_two_at_least(int32_t n)
{
    int32_t p = 1;
    while (p < n) {
        p *= 2;
    }
    return p;
}

// Palette entry with the alpha byte on top: memory order red, green, blue, alpha.
uint32_t rgba(const uint32_t* palette, uint8_t index, uint8_t alpha)
{
    return (palette[index] & 0xFFFFFFu) | static_cast<uint32_t>(alpha) << 24;
}

} // namespace

IconPicture::~IconPicture()
{
    flush();
    release();
}

void IconPicture::set_name(const char* n, int icon)
{
    K_ASSERT(n);
    K_ASSERT(std::strlen(n) <= ICON_NAME_LEN);
    std::memset(name_, 0, sizeof(name_));
    std::strncpy(name_, n, ICON_NAME_LEN);
    is_icon_ = icon != 0 ? 1 : 0;
}

int IconPicture::load(uintptr_t argument)
{
    K_ASSERT(!bitmap && !palette);
    const ScreenManager* const screen_mgr = reinterpret_cast<const ScreenManager*>(argument);
    K_ASSERT(screen_mgr);
    if (load_icon(*this, screen_mgr, name_) == 0) {
        print_format(P_WARNING, "Can't load icon '%s'", name_);
        make_placeholder();
    }
    K_ASSERT(bitmap && palette);
    return 1;
}

void IconPicture::release()
{
    owner.release();
    kheap_release(bitmap);
    bitmap = nullptr;
    kheap_release(palette);
    palette = nullptr;
    width = 0;
    height = 0;
}

void IconPicture::size_texture()
{
    const int32_t shown_width = is_icon_ != 0 ? width : screen_width;
    const int32_t shown_height = is_icon_ != 0 ? height : screen_height;
    texture_width = power_of_two_at_least(shown_width);
    texture_height = power_of_two_at_least(shown_height);
    s_extent = static_cast<float>(shown_width) / static_cast<float>(texture_width);
    t_extent = static_cast<float>(shown_height) / static_cast<float>(texture_height);
    owner.set_size(2 * texture_width * texture_height);
}

void IconPicture::make_placeholder()
{
    release();
    width = ICON_PLACEHOLDER_SIDE;
    height = ICON_PLACEHOLDER_SIDE;
    // Always both planes, so that a picture's placeholder is drawn the same way.
    bitmap = picture_alloc_bitmap(ICON_PLACEHOLDER_SIDE * ICON_PLACEHOLDER_SIDE, 1, this);
    K_ASSERT(bitmap);
    palette = picture_alloc_palette(this);
    K_ASSERT(palette);
    std::memset(palette, 0, PALETTE_ENTRIES * sizeof(uint32_t));
    palette[0] = 0x104060;
    palette[1] = 0x082030;
    constexpr int pixels = ICON_PLACEHOLDER_SIDE * ICON_PLACEHOLDER_SIDE;
    for (int y = 0; y < ICON_PLACEHOLDER_SIDE; ++y) {
        for (int x = 0; x < ICON_PLACEHOLDER_SIDE; ++x) {
            bitmap[y * ICON_PLACEHOLDER_SIDE + x] = static_cast<uint8_t>((x ^ y) & 1);
            bitmap[pixels + y * ICON_PLACEHOLDER_SIDE + x] = ICON_PLACEHOLDER_ALPHA;
        }
    }
    size_texture();
}

int IconPicture::upload()
{
    if (bitmap == nullptr || palette == nullptr || (is_icon_ == 0 && (screen_width <= 0 || screen_height <= 0))) {
        return 0;
    }
    return bind_rgba_image(owner, texture_width, texture_height, GLTEX_RGBA, [this](uint32_t* image) {
        if (is_icon_ != 0) {
            const size_t plane = static_cast<size_t>(width) * static_cast<size_t>(height);
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    const size_t at = static_cast<size_t>(y) * width + x;
                    image[static_cast<size_t>(y) * texture_width + x] = rgba(palette, bitmap[at], bitmap[plane + at]);
                }
            }
            return;
        }
        // Scaled to the screen as the software program scales a picture:
        // texel (x * step) >> 16 with step = (side << 16) / screen side.
        const int64_t xstep = (static_cast<int64_t>(width) << 16) / screen_width;
        const int64_t ystep = (static_cast<int64_t>(height) << 16) / screen_height;
        for (int32_t y = 0; y < screen_height; ++y) {
            const uint8_t* const row = bitmap + ((y * ystep) >> 16) * width;
            uint32_t* const to = image + static_cast<size_t>(y) * texture_width;
            for (int32_t x = 0; x < screen_width; ++x) {
                to[x] = rgba(palette, row[(x * xstep) >> 16], 0xFF);
            }
        }
    });
}

int load_icon(IconPicture& picture, const ScreenManager* screen, const char* name)
{
    K_ASSERT(screen && name);
    K_ASSERT(screen->v_mode);
    picture.release();
    picture.screen_width = screen->v_mode->xres;
    picture.screen_height = screen->v_mode->yres;
    PictureRules rules;
    rules.is_icon = picture.is_icon();
    rules.alpha_plane = 1;
    rules.max_side = picture.is_icon() != 0 ? ICON_MAX_SIDE : PICTURE_MAX_SIDE;
    rules.wrong_form = picture.is_icon() != 0 ? "load_icon(%s): Id is not ICON" : "load_icon(%s): Id is not PICT";
    if (load_sized_picture(name, rules, screen->v_mode->xres, screen->v_mode->yres, &picture,
                           {picture.bitmap, picture.palette, picture.width, picture.height}) == 0) {
        return 0;
    }
    picture.size_texture();
    return 1;
}
