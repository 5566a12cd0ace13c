#include "renderer/icon_picture.h"

#include "core/kheap.h"

#include <cstring>

IconPicture::~IconPicture()
{
    flush();
    release();
}

void IconPicture::set_name(const char* n, int icon)
{
    std::memset(name_, 0, sizeof(name_));
    if (n != nullptr) {
        std::strncpy(name_, n, ICON_NAME_LEN);
    }
    is_icon_ = icon;
}

int IconPicture::load(uintptr_t) { return 1; }

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
