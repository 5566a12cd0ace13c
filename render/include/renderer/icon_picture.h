#pragma once
// IconPicture: a named icon or picture whose image lives in the heap's
// cacheable area, loaded at the first touch (the touch's argument is the
// ScreenManager, whose video mode picks the size directory and the palette
// layout) and dropped by the heap when it needs room. A file that can't be
// loaded shows a 4 x 4 checkerboard instead, with a warning.
#include "core/cache_owner.h"
#include "renderer/icon_image.h"

constexpr int ICON_NAME_LEN = 8;

class IconPicture : public CacheOwner {
public:
    IconPicture() = default;
    ~IconPicture() override;

    // At most 8 characters; is_icon 1 for ".cic", 0 for ".cpc".
    void set_name(const char* n, int is_icon);
    // argument: the ScreenManager. Always 1.
    int load(uintptr_t argument) override;
    void drop() override;

    const IconImage& image() const { return icon; }
    const char* name() const { return name_; }
    int is_icon() const { return is_icon_; }

private:
    IconImage icon;
    char name_[ICON_NAME_LEN + 1] = {};
    int is_icon_ = 0;
};
