#include "world/view/texture_resource.h"

#include "core/kassert.h"
#include "core/print.h"
#include "world/view/palette.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_memory.h"

#include <cstring>
#include <new>

namespace {

constexpr int32_t CLEARED_SIZE = 16;

void copy_layout(uint8_t to[4], const uint8_t from[4]) { std::memcpy(to, from, 4); }

} // namespace

TextureResource::TextureResource() = default;

TextureResource::~TextureResource() { flush(); }

int TextureResource::set_names(const char* r, const char* n)
{
    if (!texture_name_valid(r) || !texture_name_valid(n)) {
        return 0;
    }
    std::strcpy(resource, r);
    std::strcpy(name, n);
    return 1;
}

int TextureResource::load(uintptr_t argument)
{
    K_ASSERT(!texture);
    void* const place = texture_alloc(sizeof(Texture), this, "Texture");
    if (place == nullptr) {
        return 0;
    }
    texture = new (place) Texture{};
    const char* const directory = texture_directory(kind);
    int ok = 0;
    if (resource[0] == '\0' && name[0] == '\0') {
        ok = texture_create_cleared(*texture, this, CLEARED_SIZE, CLEARED_SIZE);
    } else if (find_texture_file(*texture, directory, resource, name, kind, this) != 0) {
        ok = 1;
    } else {
        print_format(P_WARNING, "Can't load texture '%s:%s'", resource, name);
        if (find_texture_file(*texture, directory, "none", "none", kind, this) != 0) {
            print_string(P_WARNING, "Loading default texture instead");
            ok = 1;
        } else {
            print_string(P_ERROR, "Can't load 'none:none' either");
            ok = texture_create_cleared(*texture, this, CLEARED_SIZE, CLEARED_SIZE);
        }
    }
    if (ok == 0) {
        unload();
        return 0;
    }
    texture_brightness(*texture, kind);
    copy_layout(layout, FILE_ORDER_LAYOUT);
    const uint8_t* const target = reinterpret_cast<const uint8_t*>(argument);
    if (target != nullptr) {
        convert(target);
    }
    return 1;
}

void TextureResource::unload()
{
    K_ASSERT(texture);
    texture_clear(*texture);
    texture_free(texture);
    texture = nullptr;
}

void TextureResource::convert(const uint8_t target[4])
{
    if (texture == nullptr) {
        return; // a later load converts from file order
    }
    if (texture->palette != nullptr) {
        palette_rearrange(texture->palette, layout, target);
    }
    copy_layout(layout, target);
}
