#pragma once
// A shared map built in memory for entity tests, benchmarks and fuzzers: one
// plane x = 0 splitting space into cell 0 (x >= 0) and cell 1 (x < 0), the
// whole link pool, and `models` BSP model entities.
#include "world/shared_map.h"

#include <memory>

inline std::unique_ptr<SharedMap> make_two_cell_map(int32_t models = 4)
{
    auto map = std::make_unique<SharedMap>();
    map->planes = new Plane[2];
    map->planes[0] = Plane{{1.0f, 0.0f, 0.0f}, 0.0f};
    map->planes[1] = Plane{{-1.0f, 0.0f, 0.0f}, 0.0f};
    map->plane_count = 2;
    map->cells = new Cell[2];
    map->cell_count = 2;
    map->nodes = new BspNode[1];
    map->node_count = 1;
    map->nodes[0].plane = &map->planes[0];
    map->nodes[0].front.cell = &map->cells[0];
    map->nodes[0].back.cell = &map->cells[1];
    map->nodes[0].flags = BSP_VISIBLE;
    map->links = new EntityLink[MAP_LINKS];
    if (map->link_list.create(MAP_LINKS) == 0 || map->models.create(map.get(), models) == 0) {
        return nullptr;
    }
    map->model_count = models;
    return map;
}

// Entities of the type linked into the cell.
inline int entities_in_cell(const SharedMap& map, int cell, int type)
{
    int n = 0;
    for (const EntityLink* l = map.cells[cell].lists[type]; l != nullptr; l = l->next) {
        ++n;
    }
    return n;
}
