#pragma once
// The BSP data of a loaded map that the server and the client of one process
// share under "MapT": planes (each with its opposite), the node tree and its
// cells, the packed PVS, the BSP model entities, and the pool of links that
// puts entities into cells (world/entity_link.h).
//
// Acquired through the share manager with (directory name, holder flag,
// uint32_t* identifier word): the server holds with a non-zero flag, the
// client with 0; each side shares an object only with the other side.
#include "core/index_list.h"
#include "core/share_object.h"
#include "fsys/file_stream.h"
#include "world/bsp_tree.h"
#include "world/world_model.h"

#include <cstdarg>
#include <cstdint>

constexpr uint32_t MAP_SHARE_ID = share_type_id("MapT");
constexpr int MAP_NAME_SIZE = 16;
constexpr int32_t MAP_LINKS = 0x40000;
constexpr int MAP_DIRECTORY_MAX = 1024;
// Deeper trees are refused: the tree walks recurse.
constexpr int32_t MAP_TREE_DEPTH_MAX = 1024;

constexpr uint32_t MAP_HELD_BY_SERVER = 1;
constexpr uint32_t MAP_HELD_BY_CLIENT = 2;

class SharedMap final : public ShareObject {
public:
    SharedMap() = default;
    ~SharedMap() override;

    // Arguments: const char* directory, int holder flag, uint32_t* identifier word.
    int match(uint32_t id, va_list args) override;
    static ShareObject* create(va_list args);

    // Loads "rplanes.txt", "rtrees.txt" and the optional "pvs.bin" of the
    // directory through the file system, with a new link pool; 1 or 0.
    int load_bsp_directory(const char* directory, uint32_t* identifier, int holder);
    // The three files alone, replacing the BSP data; the link pool stays and
    // must hold no links. 1 or 0.
    int read_bsp_files(const char* directory, uint32_t* identifier);
    // Frees everything; the holders and the name are cleared.
    void free_world();
    // Frees the BSP data read from the files.
    void free_bsp();

    bool has_pvs() const { return pvs_data != nullptr; }

    char name[MAP_NAME_SIZE] = {}; // not terminated when 16 characters long
    uint32_t holders = 0;

    Plane* planes = nullptr;
    int32_t plane_count = 0; // twice the planes of the file
    Cell* cells = nullptr;
    int32_t cell_count = 0;
    BspNode* nodes = nullptr; // nodes[0] is the root
    int32_t node_count = 0;
    int32_t model_count = 0;

    uint8_t* pvs_data = nullptr;
    int32_t pvs_cells = 0; // cells, from the first, that have a PVS
    int32_t pvs_size = 0;
    const uint8_t* last_pvs = nullptr; // whose marks the cells and nodes hold

    EntityLink* links = nullptr; // MAP_LINKS
    IndexList link_list;
    bool link_pool_reported = false; // a refused link is reported once
    int32_t links_refused = 0;

    WorldModel models;
};

// Readers of the three files, each (map, open stream, identifier word) -> 1 or 0.
int read_rplanes(SharedMap& map, FileStream* stream, uint32_t* identifier);
int read_rtrees(SharedMap& map, FileStream* stream, uint32_t* identifier);
int read_pvs(SharedMap& map, FileStream* stream, uint32_t* identifier);
