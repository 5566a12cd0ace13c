#include "renderer/icon_picture.h"

#include "core/kassert.h"
#include "core/print.h"

#include <cstring>

IconPicture::~IconPicture() { flush(); }

void IconPicture::set_name(const char* n, int is_icon)
{
    K_ASSERT(n);
    K_ASSERT(std::strlen(n) <= ICON_NAME_LEN);
    std::strcpy(name_, n);
    is_icon_ = is_icon != 0 ? 1 : 0;
}

int IconPicture::load(uintptr_t argument)
{
    K_ASSERT(!icon.bitmap && !icon.palette);
    const ScreenManager* const screen_mgr = reinterpret_cast<const ScreenManager*>(argument);
    K_ASSERT(screen_mgr);
    if (load_icon(icon, this, screen_mgr, name_, is_icon_) == 0) {
        print_format(P_WARNING, "Can't load icon '%s'", name_);
        icon.make_placeholder(this, screen_mgr, is_icon_);
    }
    K_ASSERT(icon.bitmap && icon.palette);
    return 1;
}

void IconPicture::drop()
{
    K_ASSERT(icon.bitmap && icon.palette);
    icon.release();
    K_ASSERT(!icon.bitmap && !icon.palette);
}
