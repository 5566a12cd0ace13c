#include "world/view/client_world.h"

#include "core/kassert.h"
#include "core/share_manager.h"
#include "renderer/screen_projection.h"
#include "world/entity_link.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

namespace {

template <typename T>
void free_array(T*& array)
{
    delete[] array;
    array = nullptr;
}

// Bytes b0..b3 of each colour (bits 0-7 up) moved to the layout's shifts.
void convert_colours(uint32_t* colours, int32_t count, const uint8_t layout[4])
{
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t c = colours[i];
        uint32_t out = 0;
        for (int j = 0; j < 4; ++j) {
            out |= ((c >> (8 * j)) & 0xFFu) << layout[j];
        }
        colours[i] = out;
    }
}

} // namespace

void ClientWorld::close_map()
{
    free_array(vertices);
    vertex_count = 0;
    free_array(vertex_pointers);
    vertex_pointer_count = 0;
    free_array(polygons);
    polygon_count = 0;
    free_array(faces);
    face_count = 0;
    free_array(patches);
    patch_count = 0;
    free_array(lightmap_data);
    data_size = 0;
    free_array(lightmap_colours);
    colour_count = 0;
    free_array(lamp_layers);
    // The server may hold the shared map on: no cell keeps a link to a freed light.
    if (map != nullptr) {
        for (int32_t i = 0; i < light_count; ++i) {
            unlink_entity(*map, lights[i]);
        }
    }
    free_array(lights);
    light_count = 0;
    free_array(lamp_pointers);
    lamp_reference_count = 0;
    free_array(light_rows);
    row_count = 0;
    free_array(sky_vertices);
    free_array(sky_vertex_pointers);
    free_array(sky_planes);
    free_array(sky_faces);
    free_array(sky_patches);
    free_array(sky_polygons);
    sky_polygon_count = 0;
    free_array(sky_textures);
    sky_texture_count = 0;
    free_array(textures);
    texture_count = 0;
    map_lamp_count = 0;
    info_flags = 0;
    if (map != nullptr) {
        // The models' polygons were this world's.
        for (int32_t m = 0; m < map->models.count(); ++m) {
            map->models.entity(m).set_polygons(nullptr, 0);
        }
        share->release(map);
        map = nullptr;
    }
    if (volumes != nullptr) {
        share->release(volumes);
        volumes = nullptr;
    }
    world_volume = nullptr;
    if (map_lamps.projection() != nullptr) {
        map_lamps.stop();
    }
    map_lamps.destroy();
    texture_manager.release();
    share = nullptr;
    screen = nullptr;
}

void ClientWorld::attach_screen(ScreenProjection* projection)
{
    K_ASSERT(!screen);
    screen = projection;
    map_lamps.start(projection);
    texture_manager.convert_all(projection->rgb_layout);
    convert_colours(lightmap_colours, colour_count, projection->rgb_layout);
    for (int32_t i = 0; i < light_count; ++i) {
        lights[i].map_colour(projection->rgb_layout);
    }
}

void ClientWorld::detach_screen()
{
    K_ASSERT(screen);
    map_lamps.stop();
    texture_manager.convert_all(screen->layout_inverse);
    convert_colours(lightmap_colours, colour_count, screen->layout_inverse);
    screen = nullptr;
}
