#pragma once
// One texture that can be read again from its file: a cache owner whose data
// (the Texture record, its palette and levels) lives in cacheable blocks and
// is loaded on the first touch after it was dropped.
#include "core/cache_owner.h"
#include "renderer/texture.h"

#include <cstdint>
#include <cstring>

constexpr int TEXTURE_NAME_LEN = 8; // longest resource or texture name

// What a texture is for. The OpenGL program chooses the folder and the
// palette's brightness by it; the software program loads every kind alike.
constexpr int32_t TEXTURE_KIND_MAP = 1;      // map surfaces ("textures.txt")
constexpr int32_t TEXTURE_KIND_SPRITE = 2;   // sprites (resource "sprites")
constexpr int32_t TEXTURE_KIND_SKY_DOME = 3; // the two layers of a sky dome ("info.txt")
constexpr int32_t TEXTURE_KIND_SKY_BOX = 4;  // the six sides of a sky box ("info.txt")
constexpr int32_t TEXTURE_KIND_MODEL = 6;    // mesh model skins

// A name that fits a name field: given and at most TEXTURE_NAME_LEN characters.
inline bool texture_name_valid(const char* name)
{
    return name != nullptr && std::strlen(name) <= static_cast<size_t>(TEXTURE_NAME_LEN);
}

class TextureResource final : public CacheOwner {
public:
    TextureResource();
    ~TextureResource() override;

    // 1, or 0 (nothing changed) when a name is missing or too long.
    int set_names(const char* resource, const char* name);

    // argument: the rgb_layout (const uint8_t[4]) the palette is converted
    // to, or 0 for none. Looks in this program's folder of the kind; falls
    // back to "none:none" there, then to a blank 16 x 16 texture; 0 only
    // when memory runs out.
    int load(uintptr_t layout) override;
    void drop() override { unload(); }
    void unload();
    // Whether the data is loaded: the heap drops it under pressure.
    bool resident() const { return texture != nullptr && linked(); }

    // Brings a loaded palette from the layout it is in to `target`.
    void convert(const uint8_t target[4]);

    Texture* texture = nullptr; // null while not loaded
    char resource[TEXTURE_NAME_LEN + 1] = {};
    char name[TEXTURE_NAME_LEN + 1] = {};
    int32_t kind = TEXTURE_KIND_MAP;
    float duration = 0.0f; // seconds the frame is shown
    uint8_t layout[4] = {0, 8, 16, 24}; // the layout the palette is in now
};
