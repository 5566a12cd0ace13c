#include "renderer/icon_image.h"

#include "core/cache_owner.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "fsys/fsys.h"
#include "platform/video_mode.h"
#include "renderer/screen_manager.h"
#include "world/view/palette.h"
#include "world/view/picture_file.h"

IconImage::~IconImage()
{
    K_ASSERT(!bitmap);
    K_ASSERT(!palette);
}

void IconImage::release()
{
    if (bitmap != nullptr) {
        kheap_release(bitmap);
        bitmap = nullptr;
    }
    if (palette != nullptr) {
        kheap_release(palette);
        palette = nullptr;
    }
}

void IconImage::make_placeholder(CacheOwner* owner, const ScreenManager* mgr, int is_icon)
{
    K_ASSERT(mgr && mgr->v_mode);
    release();
    width = ICON_PLACEHOLDER_SIDE;
    height = ICON_PLACEHOLDER_SIDE;
    flags = is_icon != 0 ? ICON_HAS_ALPHA : 0;
    bitmap = picture_alloc_bitmap(ICON_PLACEHOLDER_SIDE * ICON_PLACEHOLDER_SIDE, is_icon, owner);
    K_ASSERT(bitmap);
    palette = picture_alloc_palette(owner);
    K_ASSERT(palette);
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        palette[i] = 0;
    }
    palette[0] = colour_convert(0x104060, mgr->v_mode->rgb_layout);
    palette[1] = colour_convert(0x082030, mgr->v_mode->rgb_layout);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t index = static_cast<uint8_t>((x ^ y) & 1);
            const int at = y * width + x;
            if (is_icon != 0) {
                bitmap[2 * at] = index;
                bitmap[2 * at + 1] = ICON_PLACEHOLDER_ALPHA;
            } else {
                bitmap[at] = index;
            }
        }
    }
}

int load_icon(IconImage& image, CacheOwner* owner, const ScreenManager* mgr, const char* name, int is_icon)
{
    K_ASSERT(owner && mgr && name);
    K_ASSERT(fsys);
    image.release();
    image.flags = is_icon != 0 ? ICON_HAS_ALPHA : 0;
    PictureRules rules;
    rules.is_icon = is_icon;
    rules.max_side = ICON_MAX_SIDE;
    if (load_sized_picture(name, rules, mgr->v_mode->xres, mgr->v_mode->yres, owner,
                           {image.bitmap, image.palette, image.width, image.height}) == 0) {
        return 0;
    }
    palette_convert(image.palette, mgr->v_mode->rgb_layout);
    if (is_icon != 0) {
        palette_halve(image.palette);
    }
    return 1;
}
