#pragma once
// GLLightmapManager: three pools of fixed-size lightmap textures (32, 16 and
// 8 texels square), each slot one texture of the texture cache. A lit
// polygon embeds a GLLightmapOwner and gets a slot of its size class, least
// recently used first; its lightmap is written into the slot as a sub-image.
#include "core/index_list.h"
#include "gl/gl_texture_manager.h"

#include <cstdint>

constexpr int LMAP_SIZES = 3;

class GLLightmapOwner {
public:
    GLLightmapOwner() = default;
    ~GLLightmapOwner();
    GLLightmapOwner(const GLLightmapOwner&) = delete;
    GLLightmapOwner& operator=(const GLLightmapOwner&) = delete;

    // The class from the side of the square the lightmap needs (1..32) and
    // the stamp of its texels; 0 and no class for any other side.
    int set_size(int32_t side, uint32_t new_stamp);
    // 1 and uploaded := stamp (or value) when they differ, else 0.
    int take_stamp();
    int take_stamp(uint32_t value);
    // 1: the slot still holds this lightmap; 0: slot bound, write the
    // lightmap into it at (0, 0); -1: no slot to be had, nothing bound.
    int activate();
    void release();

    int32_t id = -1;
    int32_t size_id = 0;
    uint32_t stamp = 0;
    uint32_t uploaded = 0;
};

class GLLightmapManager {
public:
    GLLightmapManager() = default;
    ~GLLightmapManager();
    GLLightmapManager(const GLLightmapManager&) = delete;
    GLLightmapManager& operator=(const GLLightmapManager&) = delete;

    // Slots for each class; 1 on success. Every owner loses its slot.
    int init(const int32_t max[LMAP_SIZES]);
    int activate(GLLightmapOwner* owner);
    void release(GLLightmapOwner* owner);
    void flush();
    void close();

    // Texture side of a class.
    static int32_t side(int s) { return 32 >> s; }

    GLTextureOwner* textures[LMAP_SIZES] = {};
    GLLightmapOwner** id_owner[LMAP_SIZES] = {};
    IndexList lists[LMAP_SIZES]; // used lists: most recent first
    int32_t count[LMAP_SIZES] = {};
    int32_t max_lightmaps[LMAP_SIZES] = {};

private:
    void close_class(int s);
    int build_class(int s, int32_t slots);
    // Binds the slot's texture, giving it storage when the cache had dropped it.
    int activate_slot(int s, int32_t id);
    void check_owner(const GLLightmapOwner* owner) const;
};

extern GLLightmapManager gl_lightmap_manager;
