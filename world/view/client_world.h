#pragma once
// ClientWorld: the client's holder of a loaded map. It acquires the shared
// BSP map ("MapT") and the volume set ("VolT"), and reads what only the
// client needs from the map directory: textures, algorithmic texture patches,
// the sky, the drawable geometry with its lightmaps and lamps, and the map's
// lights. The BSP renderer draws from it.
//
// Every array belongs to the world and is freed by close_map; a failed load
// leaves what it read until the next load or close.
#include "world/view/algo_texture.h"
#include "world/view/dynamic_light.h"
#include "world/view/texture_manager.h"
#include "world/light_source.h"
#include "world/map_polygon.h"

#include <cstdint>

class FileStream;
class ScreenProjection;
class ShareManager;
class SharedMap;
class VolumeSet;
struct VolumeTree;

// Info flags of "info.txt".
constexpr uint32_t INFO_SKY_BOX = 1; // clear: a sky dome

// Face flags the loader and the sky builders give.
constexpr uint32_t FACE_SKY_BOX = 0x200000;
constexpr uint32_t FACE_SKY_DOME = 0x300000;

constexpr int32_t SKY_BOX_POLYGONS = 6;
constexpr int32_t SKY_DOME_POLYGONS = 160;

class ClientWorld {
public:
    ClientWorld() = default;
    ~ClientWorld() { close_map(); }
    ClientWorld(const ClientWorld&) = delete;
    ClientWorld& operator=(const ClientWorld&) = delete;

    // Releases everything of the loaded map, unlinking its lights from the
    // shared map first; safe on an empty world.
    void close_map();
    // Converts the world's colours to the projection's pixel layout and back.
    void attach_screen(ScreenProjection* projection);
    void detach_screen();

    Vector* vertices = nullptr;
    int32_t vertex_count = 0;
    Vector** vertex_pointers = nullptr;
    int32_t vertex_pointer_count = 0;
    MapPolygon* polygons = nullptr;
    int32_t polygon_count = 0;
    MapFace* faces = nullptr;
    int32_t face_count = 0;
    AlgoTexture* patches = nullptr;
    int32_t patch_count = 0;
    TextureAnim* textures = nullptr;
    int32_t texture_count = 0;
    const uint8_t** lamp_layers = nullptr; // one per lamp reference
    LightSource* lights = nullptr;
    int32_t light_count = 0;
    LampData** lamp_pointers = nullptr; // one per lamp reference
    int32_t lamp_reference_count = 0;
    LightRow* light_rows = nullptr;
    int32_t row_count = 0;
    uint8_t* lightmap_data = nullptr;
    int32_t data_size = 0;
    uint32_t* lightmap_colours = nullptr;
    int32_t colour_count = 0;
    int32_t map_lamp_count = 0; // lamps of "lightmap.bin" + 1
    uint32_t info_flags = 0;

    Vector* sky_vertices = nullptr;
    Vector** sky_vertex_pointers = nullptr;
    Plane* sky_planes = nullptr;
    MapFace* sky_faces = nullptr;
    AlgoTexture* sky_patches = nullptr;
    MapPolygon* sky_polygons = nullptr;
    int32_t sky_polygon_count = 0;
    TextureAnim* sky_textures = nullptr;
    int32_t sky_texture_count = 0;

    ShareManager* share = nullptr;
    ScreenProjection* screen = nullptr;
    SharedMap* map = nullptr;
    VolumeSet* volumes = nullptr;
    const VolumeTree* world_volume = nullptr; // the hull trees of volume model 0

    TextureManager texture_manager;
    DynamicLight map_lamps;
};

// Loads the map of the directory ("maps/<name>"): 1, or 0 after a message.
// The identifier word is fixed by the first file that names one.
int load_world(ClientWorld& world, ShareManager* share, const char* directory, uint32_t* identifier);

// Readers of the map's files, each (world, open stream, identifier word) -> 1 or 0.
int read_textures(ClientWorld& world, FileStream* stream, uint32_t* identifier);
int read_patches(ClientWorld& world, FileStream* stream, uint32_t* identifier);
int read_info(ClientWorld& world, FileStream* stream, uint32_t* identifier);
int read_geometry(ClientWorld& world, FileStream* stream, uint32_t* identifier);
int read_lightmaps(ClientWorld& world, FileStream* stream, uint32_t* identifier);
int read_lights(ClientWorld& world, FileStream* stream, uint32_t* identifier);

// The sky around the camera, from the sky textures; 1 or 0.
int build_sky_box(ClientWorld& world);
int build_sky_dome(ClientWorld& world);
