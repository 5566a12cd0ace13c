// load_world and the readers of the map's textual client files:
// "textures.txt", "patches.txt", "info.txt" and "lights.txt".
#include "core/print.h"
#include "core/share_manager.h"
#include "core/kassert.h"
#include "fsys/fsys.h"
#include "world/view/client_world.h"
#include "world/entity_link.h"
#include "world/map_text_reader.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace {

// Room for the textures of the sky besides the map's own.
constexpr int32_t SKY_TEXTURE_SLOTS = 8;
constexpr int32_t SKY_BOX_TEXTURES = 6;
constexpr int32_t SKY_DOME_TEXTURES = 2;
constexpr char SKY_BOX_SIDES[SKY_BOX_TEXTURES + 1] = "btnesw";
constexpr char SKY_DOME_LAYERS[SKY_DOME_TEXTURES + 1] = "12";
// Lines of one light in "lights.txt".
constexpr int32_t LIGHT_LINES = 6;

using Reader = int (*)(ClientWorld&, FileStream*, uint32_t*);

bool read_file(ClientWorld& world, const std::string& directory, const char* name, int mode, Reader reader,
               uint32_t* identifier)
{
    const std::string path = directory + "/" + name;
    FileStream* const stream = fsys != nullptr ? fsys->open(path.c_str(), mode) : nullptr;
    if (stream == nullptr) {
        print_format(P_ERROR, "KLoad: Can't open %s", path.c_str());
        return false;
    }
    const int ok = reader(world, stream, identifier);
    stream->close();
    return ok != 0;
}

int refuse(const char* message)
{
    print_string(P_ERROR, message);
    return 0;
}

// The texture of one record; false when the manager has none (it said why).
bool get_texture(TextureManager& manager, TextureAnim& record, const char* resource, const char* name, int32_t kind)
{
    record = TextureAnim{};
    record.slot = manager.get(resource, name, kind);
    return record.slot != nullptr;
}

} // namespace

int load_world(ClientWorld& world, ShareManager* share, const char* directory, uint32_t* identifier)
{
    world.close_map();
    K_ASSERT(share);
    world.share = share;
    world.map = static_cast<SharedMap*>(share->acquire(MAP_SHARE_ID, directory, 0, identifier));
    if (world.map == nullptr) {
        return 0;
    }
    if (std::strlen(directory) > static_cast<size_t>(MAP_DIRECTORY_MAX)) {
        return refuse("KLoad: BSP directory name too long");
    }
    const std::string dir = directory;
    const std::string volume_path = dir + "/volume.txt";
    world.volumes = static_cast<VolumeSet*>(share->acquire(VOLUME_SHARE_ID, volume_path.c_str(), identifier));
    if (world.volumes == nullptr) {
        print_format(P_ERROR, "KLoad: Can't load %s", volume_path.c_str());
        return 0;
    }
    world.world_volume = world.volumes->models > 0 ? world.volumes->model_trees(0) : nullptr;
    const bool files = read_file(world, dir, "textures.txt", FSYS_TEXT, read_textures, identifier) &&
                       read_file(world, dir, "patches.txt", FSYS_TEXT, read_patches, identifier) &&
                       read_file(world, dir, "info.txt", FSYS_TEXT, read_info, identifier) &&
                       read_file(world, dir, "geometry.txt", FSYS_TEXT, read_geometry, identifier) &&
                       read_file(world, dir, "lightmap.bin", FSYS_BINARY, read_lightmaps, identifier);
    if (!files) {
        return 0;
    }
    const int sky = (world.info_flags & INFO_SKY_BOX) != 0 ? build_sky_box(world) : build_sky_dome(world);
    if (sky == 0) {
        return refuse("KLoad: Can't init sky");
    }
    return read_file(world, dir, "lights.txt", FSYS_TEXT, read_lights, identifier) ? 1 : 0;
}

int read_textures(ClientWorld& world, FileStream* stream, uint32_t* identifier)
{
    MapTextReader text(stream, "textures.txt");
    int32_t n = 0;
    if (!text.header_after_comments("textualTextures,version001", identifier, "KLoad: Error in textures.txt") ||
        !text.line_ints(&n, 1)) {
        return 0;
    }
    world.textures = count_fits(n, stream) ? new (std::nothrow) TextureAnim[n > 0 ? n : 1] : nullptr;
    if (world.textures == nullptr || world.texture_manager.create(n + SKY_TEXTURE_SLOTS) == 0) {
        return refuse("KLoad: Can't init texture manager");
    }
    world.texture_count = n;
    for (int32_t i = 0; i < n; ++i) {
        char resource[TEXTURE_NAME_LEN + 1];
        char name[TEXTURE_NAME_LEN + 1];
        if (!text.next_line() || !text.read_word(resource, sizeof resource) || !text.read_word(name, sizeof name) ||
            !get_texture(world.texture_manager, world.textures[i], resource, name, TEXTURE_KIND_MAP)) {
            return 0;
        }
    }
    return 1;
}

int read_patches(ClientWorld& world, FileStream* stream, uint32_t* identifier)
{
    MapTextReader text(stream, "patches.txt");
    int32_t n = 0;
    if (!text.header_after_comments("textualPatches,version001", identifier, "KLoad: Error in patches.txt") ||
        !text.line_ints(&n, 1)) {
        return 0;
    }
    world.patches = count_fits(n, stream) ? new (std::nothrow) AlgoTexture[n > 0 ? n : 1] : nullptr;
    if (world.patches == nullptr) {
        print_format(P_ERROR, "KLoad: Can't allocate %d patches", n);
        return 0;
    }
    world.patch_count = n;
    for (int32_t i = 0; i < n; ++i) {
        int32_t t = 0;
        float p12[2];
        int32_t p3 = 0;
        float p47[4];
        if (!text.next_line() || !text.read_int(t) || !text.read_floats(p12, 2) || !text.read_int(p3) ||
            !text.read_floats(p47, 4)) {
            return 0;
        }
        if (t < 0 || t >= world.texture_count) {
            print_format(P_ERROR, "KLoad: Invalid texture used in patch %d of patches.txt", i);
            return 0;
        }
        if (world.patches[i].init(&world.textures[t], p12[0], p12[1], static_cast<uint32_t>(p3), p47[0], p47[1],
                                  p47[2], p47[3]) == 0) {
            print_format(P_ERROR, "KLoad: Can't set up patch %d of patches.txt", i);
            return 0;
        }
    }
    return 1;
}

int read_info(ClientWorld& world, FileStream* stream, uint32_t* identifier)
{
    MapTextReader text(stream, "info.txt");
    char resource[TEXTURE_NAME_LEN + 1];
    char name[TEXTURE_NAME_LEN + 1];
    if (!text.header("textualInfo,version002", identifier) || !text.next_line() || !text.read_hex(world.info_flags) ||
        !text.next_line() || !text.read_word(resource, sizeof resource) || !text.read_word(name, sizeof name)) {
        return 0;
    }
    const bool box = (world.info_flags & INFO_SKY_BOX) != 0;
    const char* const endings = box ? SKY_BOX_SIDES : SKY_DOME_LAYERS;
    const int32_t count = box ? SKY_BOX_TEXTURES : SKY_DOME_TEXTURES;
    world.sky_textures = new (std::nothrow) TextureAnim[count];
    if (world.sky_textures == nullptr) {
        return refuse("KLoad: Can't allocate sky textures");
    }
    world.sky_texture_count = count;
    const int32_t kind = box ? TEXTURE_KIND_SKY_BOX : TEXTURE_KIND_SKY_DOME;
    const size_t last = std::strlen(name) - 1;
    for (int32_t k = 0; k < count; ++k) {
        name[last] = endings[k];
        if (!get_texture(world.texture_manager, world.sky_textures[k], resource, name, kind)) {
            return 0;
        }
    }
    return 1;
}

int read_lights(ClientWorld& world, FileStream* stream, uint32_t* identifier)
{
    MapTextReader text(stream, "lights.txt");
    int32_t n = 0;
    if (!text.header("textualLights,version010", identifier) || !text.line_ints(&n, 1)) {
        return 0;
    }
    if (n == 0) {
        return 1;
    }
    world.lights = count_fits(int64_t{n} * LIGHT_LINES, stream) ? new (std::nothrow) LightSource[n] : nullptr;
    if (world.lights == nullptr) {
        print_format(P_ERROR, "KLoad: can't allocate %d lights", n);
        world.light_count = 0;
        return 0;
    }
    world.light_count = n;
    for (int32_t i = 0; i < n; ++i) {
        float unused[3];
        float position[3];
        float f[4];
        int32_t lamp_colour[4];
        if (!text.skip_lines(1) || !text.line_floats(unused, 3) || !text.skip_lines(1) ||
            !text.line_floats(position, 3) || !text.line_floats(f, 4) || !text.line_ints(lamp_colour, 4)) {
            return 0;
        }
        const float range = std::pow(4.0f * f[0], 2.0f / (f[1] + 1.0f));
        if (!std::isfinite(range)) {
            print_format(P_ERROR, "KLoad: Light %d of lights.txt has no finite range", i);
            return 0;
        }
        LightSource& light = world.lights[i];
        light.set_position(Vector{position[0], position[1], position[2]}, Vector{0.0f, 0.0f, 0.0f});
        light.set_range(range);
        uint32_t kind = 0;
        std::memcpy(&kind, &f[2], sizeof kind);
        light.set_kind(kind);
        light.set_intensity(f[3]);
        const int32_t lamp = lamp_colour[0];
        light.set_lamp(lamp >= 1 && lamp < world.map_lamps.count() ? world.map_lamps.lamp(lamp) : nullptr);
        light.set_colour(static_cast<uint32_t>(lamp_colour[1]) | static_cast<uint32_t>(lamp_colour[2]) << 8 |
                         static_cast<uint32_t>(lamp_colour[3]) << 16);
    }
    for (int32_t i = 0; i < n; ++i) {
        link_new_entity(*world.map, world.lights[i]);
    }
    return 1;
}
