#include "world/view/icon_table.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"

#include <cstring>
#include <new>

int IconTable::create(int32_t n)
{
    destroy();
    if (n <= 0) {
        return n == 0 ? 1 : 0;
    }
    void* const block = kheap_alloc(sizeof(IconPicture) * static_cast<size_t>(n), KHEAP_FROM_BOTTOM, "Icons");
    if (block == nullptr) {
        return 0;
    }
    entries_ = static_cast<IconPicture*>(block);
    for (int32_t i = 0; i < n; ++i) {
        new (&entries_[i]) IconPicture;
    }
    capacity_ = n;
    return 1;
}

void IconTable::destroy()
{
    if (entries_ != nullptr) {
        for (int32_t i = capacity_ - 1; i >= 0; --i) {
            entries_[i].~IconPicture();
        }
        kheap_release(entries_);
        entries_ = nullptr;
    }
    icons_ = 0;
    capacity_ = 0;
}

void IconTable::release_all()
{
    for (int32_t i = 0; i < icons_; ++i) {
        entries_[i].flush();
    }
}

IconPicture* IconTable::get(const char* name, int is_icon)
{
    K_ASSERT(name);
    const int kind = is_icon != 0 ? 1 : 0;
    for (int32_t i = 0; i < icons_; ++i) {
        if (entries_[i].is_icon() == kind && compare_nocase(entries_[i].name(), name) == 0) {
            return &entries_[i];
        }
    }
    if (std::strlen(name) > ICON_NAME_LEN) {
        print_format(P_ERROR, "Icon name '%s' is too long", name);
        return nullptr;
    }
    if (icons_ >= capacity_) {
        print_string(P_ERROR, "Too many icons loaded");
        return nullptr;
    }
    IconPicture* const entry = &entries_[icons_++];
    entry->set_name(name, kind);
    return entry;
}

void IconHandle::show(ScreenManager* screen)
{
    K_ASSERT(screen && id == -1);
    // A place wholly off the screen, or a full icon list, shows nothing: the
    // place comes from the game's data, which must not stop the program.
    id = icon_screen_add(*screen, x, y, width, height);
    if (id < 0) {
        return;
    }
    if (owner != nullptr) {
        icon_screen_set_picture(*screen, id, owner);
    }
    screen->set_icon_extent(id, extent);
}

void IconHandle::set_value(ScreenManager* screen)
{
    K_ASSERT(owner && screen);
    if (id >= 0) {
        icon_screen_set_picture(*screen, id, owner);
    }
}

void IconHandle::set_extent(ScreenManager* screen)
{
    K_ASSERT(owner && screen);
    if (id >= 0) {
        screen->set_icon_extent(id, extent);
    }
}

void IconHandle::hide(ScreenManager* screen)
{
    K_ASSERT(screen);
    if (id >= 0) {
        screen->remove_icon(id);
        id = -1;
    }
}
