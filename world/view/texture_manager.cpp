#include "world/view/texture_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "world/view/palette.h"

#include <cstring>
#include <new>

int TextureManager::create(int32_t max)
{
    release();
    if (max < 0) {
        return 0;
    }
    slots_ = new (std::nothrow) TextureSlot[static_cast<size_t>(max)];
    if (slots_ == nullptr) {
        return 0;
    }
    max_ = max;
    std::memcpy(layout_, FILE_ORDER_LAYOUT, sizeof layout_);
    return 1;
}

void TextureManager::release()
{
    delete[] slots_;
    slots_ = nullptr;
    count_ = 0;
    max_ = 0;
}

TextureSlot* TextureManager::get(const char* resource, const char* name, int32_t kind, const uint8_t* layout)
{
    K_ASSERT(resource && name);
    for (int32_t i = 0; i < count_; ++i) {
        TextureSlot& s = slots_[i];
        if (std::strcmp(s.name, name) == 0 && std::strcmp(s.resource, resource) == 0) {
            return &s;
        }
    }
    if (count_ >= max_) {
        print_string(P_ERROR, "TextureManager: Too many textures!");
        return nullptr;
    }
    TextureSlot& s = slots_[count_];
    if (s.load(resource, name, kind, layout != nullptr ? layout : layout_) == 0) {
        return nullptr;
    }
    ++count_;
    return &s;
}

void TextureManager::convert_all(const uint8_t layout[4])
{
    K_ASSERT(layout);
    layout_compose(layout_, layout_, layout);
    for (int32_t i = 0; i < count_; ++i) {
        K_ASSERT(slots_[i].frame_count > 0);
        slots_[i].convert(layout_);
    }
}
