#pragma once
// The textures of a world or a client, by resource and name, in a fixed
// number of slots. Palettes follow the screen's pixel layout: convert_all
// moves every loaded palette, and frames loaded later arrive in the same
// layout, so no palette is ever converted twice.
#include "world/view/texture_slot.h"

#include <cstdint>

class TextureManager {
public:
    TextureManager() = default;
    ~TextureManager() { release(); }
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;

    // Frees any old slots and makes room for `max`; the layout is file order
    // again. 1, or 0 when the allocation fails.
    int create(int32_t max);
    void release();

    // The slot of that resource and name (exact comparison), loading it into
    // the next free slot when there is none, as a texture of that kind
    // (TEXTURE_KIND_*); null when the manager is full or a name is too long
    // (reported). Frames load into `layout` when given, else into the
    // manager's current layout.
    TextureSlot* get(const char* resource, const char* name, int32_t kind, const uint8_t* layout = nullptr);

    // Applies an rgb_layout (when a renderer opens or a world is attached) or
    // its inverse (when they close) to the palettes, loaded now or later.
    void convert_all(const uint8_t layout[4]);

    const uint8_t* layout() const { return layout_; }
    int32_t count() const { return count_; }
    int32_t max() const { return max_; }
    TextureSlot& slot(int32_t i) { return slots_[i]; }

private:
    TextureSlot* slots_ = nullptr; // owned
    int32_t count_ = 0;
    int32_t max_ = 0;
    uint8_t layout_[4] = {0, 8, 16, 24};
};
