#include "world/shared_map.h"

#include "core/print.h"
#include "fsys/fsys.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Opens directory/file_name and runs the reader; 1 or 0. A file that cannot
// be opened answers -1 after its message.
int read_map_file(SharedMap& map, const char* directory, const char* file_name, int mode, uint32_t* identifier,
                  int (*reader)(SharedMap&, FileStream*, uint32_t*))
{
    char path[MAP_DIRECTORY_MAX + 32];
    std::snprintf(path, sizeof path, "%s/%s", directory, file_name);
    FileStream* const stream = fsys != nullptr ? fsys->open(path, mode) : nullptr;
    if (stream == nullptr) {
        print_format(P_ERROR, "KLoad: Can't open %s", path);
        return -1;
    }
    const int result = reader(map, stream, identifier);
    stream->close();
    return result;
}

} // namespace

SharedMap::~SharedMap() { free_world(); }

int SharedMap::match(uint32_t id, va_list args)
{
    const char* const directory = va_arg(args, const char*);
    const int holder = va_arg(args, int);
    if (id != MAP_SHARE_ID || directory == nullptr || std::strncmp(directory, name, MAP_NAME_SIZE) != 0) {
        return 0;
    }
    // Each side shares an object only with the other side, never with itself.
    const uint32_t bit = holder != 0 ? MAP_HELD_BY_SERVER : MAP_HELD_BY_CLIENT;
    if ((holders & bit) != 0) {
        return 0;
    }
    holders |= bit;
    return 1;
}

ShareObject* SharedMap::create(va_list args)
{
    const char* const directory = va_arg(args, const char*);
    const int holder = va_arg(args, int);
    uint32_t* const identifier = va_arg(args, uint32_t*);
    if (directory == nullptr) {
        return nullptr;
    }
    SharedMap* const map = new (std::nothrow) SharedMap;
    if (map == nullptr) {
        return nullptr;
    }
    uint32_t none = 0;
    if (map->load_bsp_directory(directory, identifier != nullptr ? identifier : &none, holder) == 0) {
        delete map;
        return nullptr;
    }
    return map;
}

int SharedMap::load_bsp_directory(const char* directory, uint32_t* identifier, int holder)
{
    free_world();
    // 16 characters at most, without a terminator when it has 16 or more.
    const size_t length = std::strlen(directory);
    std::memcpy(name, directory, length < MAP_NAME_SIZE ? length : MAP_NAME_SIZE);
    holders = holder != 0 ? MAP_HELD_BY_SERVER : MAP_HELD_BY_CLIENT;

    links = new (std::nothrow) EntityLink[MAP_LINKS];
    if (links == nullptr || link_list.create(MAP_LINKS) == 0) {
        print_string(P_ERROR, "KLoad: Can't allocate active entities");
        return 0;
    }
    return read_bsp_files(directory, identifier);
}

int SharedMap::read_bsp_files(const char* directory, uint32_t* identifier)
{
    free_bsp();
    if (std::strlen(directory) > MAP_DIRECTORY_MAX) {
        print_string(P_ERROR, "KLoad: BSP directory name too long");
        return 0;
    }
    if (read_map_file(*this, directory, "rplanes.txt", FSYS_TEXT, identifier, read_rplanes) != 1 ||
        read_map_file(*this, directory, "rtrees.txt", FSYS_TEXT, identifier, read_rtrees) != 1) {
        return 0;
    }
    // The PVS is optional: without it every cell sees every cell.
    read_map_file(*this, directory, "pvs.bin", FSYS_BINARY, identifier, read_pvs);
    return 1;
}

void SharedMap::free_world()
{
    free_bsp();
    link_list.destroy();
    delete[] links;
    links = nullptr;
    link_pool_reported = false;
    links_refused = 0;
    holders = 0;
    std::memset(name, 0, sizeof name);
}

void SharedMap::free_bsp()
{
    models.destroy();
    delete[] pvs_data;
    pvs_data = nullptr;
    delete[] nodes;
    nodes = nullptr;
    delete[] cells;
    cells = nullptr;
    delete[] planes;
    planes = nullptr;
    // Counts go with their arrays, so that nothing walks an array that is gone.
    plane_count = 0;
    cell_count = 0;
    node_count = 0;
    model_count = 0;
    pvs_cells = 0;
    pvs_size = 0;
    last_pvs = nullptr;
}
