#include "gl/gl_lightmap_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "gl/gl_bind.h"

#include <cstddef>
#include <new>

GLLightmapManager gl_lightmap_manager;

namespace {

// Defines a slot's storage before any lightmap is written into it.
const uint8_t blank_lightmap[32 * 32 * 4] = {};

} // namespace

GLLightmapOwner::~GLLightmapOwner() { release(); }

int GLLightmapOwner::set_size(int32_t side, uint32_t new_stamp)
{
    stamp = new_stamp;
    if (side < 1 || side > 32) {
        print_format(P_ERROR, "GLLightmapOwner: lightmap size %d refused (1 to 32 texels)", side);
        gl_lightmap_manager.release(this);
        size_id = -1;
        return 0;
    }
    const int32_t s = side > 16 ? 0 : side > 8 ? 1 : 2;
    if (s != size_id) {
        // The slot it holds is of the wrong size now.
        gl_lightmap_manager.release(this);
        size_id = s;
    }
    return 1;
}

int GLLightmapOwner::take_stamp() { return take_stamp(stamp); }

int GLLightmapOwner::take_stamp(uint32_t value)
{
    if (uploaded == value) {
        return 0;
    }
    uploaded = value;
    return 1;
}

int GLLightmapOwner::activate() { return gl_lightmap_manager.activate(this); }

void GLLightmapOwner::release() { gl_lightmap_manager.release(this); }

GLLightmapManager::~GLLightmapManager() { close(); }

int GLLightmapManager::init(const int32_t max[LMAP_SIZES])
{
    close();
    for (int s = 0; s < LMAP_SIZES; ++s) {
        if (build_class(s, max[s]) == 0) {
            return 0;
        }
    }
    return 1;
}

int GLLightmapManager::build_class(int s, int32_t slots)
{
    if (slots < 0) {
        print_format(P_ERROR, "GLLightmapManager: %d lightmaps of size %dx%d refused", slots, side(s), side(s));
        return 0;
    }
    if (slots == 0) {
        return 1;
    }
    const size_t n = static_cast<size_t>(slots);
    textures[s] = new (std::nothrow) GLTextureOwner[n];
    id_owner[s] = new (std::nothrow) GLLightmapOwner*[n];
    if (textures[s] == nullptr || id_owner[s] == nullptr || lists[s].create(slots) == 0) {
        close_class(s);
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        id_owner[s][i] = nullptr;
    }
    max_lightmaps[s] = slots;
    count[s] = 0;
    for (int32_t i = 0; i < slots; ++i) {
        if (textures[s][i].activate() == 0) {
            GLSys::send_texture(blank_lightmap, side(s), side(s), GLTEX_LIGHTMAP);
        }
    }
    return 1;
}

void GLLightmapManager::check_owner(const GLLightmapOwner* owner) const
{
    const int s = owner->size_id;
    K_ASSERT(s >= 0 && s < LMAP_SIZES);
    K_ASSERT(owner->id < max_lightmaps[s]);
    if (owner->id >= 0) {
        K_ASSERT(id_owner[s][owner->id] == owner);
    }
}

int GLLightmapManager::activate_slot(int s, int32_t id)
{
    const int r = textures[s][id].activate();
    if (r == 0) {
        GLSys::send_texture(blank_lightmap, side(s), side(s), GLTEX_LIGHTMAP);
    }
    return r;
}

int GLLightmapManager::activate(GLLightmapOwner* owner)
{
    const int s = owner->size_id;
    if (s < 0 || s >= LMAP_SIZES || max_lightmaps[s] == 0) {
        return -1;
    }
    check_owner(owner);
    if (owner->id >= 0) {
        lists[s].link_first(owner->id, IL_USED_HEAD);
        const int r = activate_slot(s, owner->id);
        return r == 1 ? 1 : r == 0 ? 0 : -1;
    }
    // A class of one slot still serves one lightmap at a time.
    if (count[s] + 1 >= max_lightmaps[s]) {
        const int32_t i = lists[s].first(IL_USED_TAIL);
        if (i >= 0) {
            release(id_owner[s][i]);
        }
    }
    const int32_t id = lists[s].alloc(IL_USED_HEAD);
    K_ASSERT(id >= 0);
    owner->id = id;
    id_owner[s][id] = owner;
    count[s] += 1;
    return activate_slot(s, id) < 0 ? -1 : 0;
}

void GLLightmapManager::release(GLLightmapOwner* owner)
{
    if (owner->id < 0) {
        return;
    }
    check_owner(owner);
    const int s = owner->size_id;
    lists[s].free(owner->id);
    id_owner[s][owner->id] = nullptr;
    owner->id = -1;
    count[s] -= 1;
}

void GLLightmapManager::flush()
{
    for (int s = 0; s < LMAP_SIZES; ++s) {
        if (id_owner[s] == nullptr) {
            continue;
        }
        for (int32_t i = lists[s].first(IL_USED_TAIL); i >= 0; i = lists[s].next()) {
            id_owner[s][i]->id = -1;
            id_owner[s][i] = nullptr;
        }
        lists[s].reset();
        count[s] = 0;
    }
}

void GLLightmapManager::close_class(int s)
{
    delete[] textures[s];
    textures[s] = nullptr;
    delete[] id_owner[s];
    id_owner[s] = nullptr;
    lists[s].destroy();
    count[s] = 0;
    max_lightmaps[s] = 0;
}

void GLLightmapManager::close()
{
    flush();
    for (int s = 0; s < LMAP_SIZES; ++s) {
        close_class(s);
    }
}
