// Unpacking a cell's PVS into the marks, and the walk over visible entities.
#include "core/kassert.h"
#include "core/print.h"
#include "world/entity_link.h"
#include "world/pvs_decode.h"

namespace {

// A node is visible when a cell below it is; children before parents.
uint32_t mark_visible_nodes(BspNode& node)
{
    const uint32_t front = (node.flags & BSP_FRONT_NODE) != 0 ? mark_visible_nodes(*node.front.node)
                                                              : node.front.cell->visible;
    const uint32_t back = (node.flags & BSP_BACK_NODE) != 0 ? mark_visible_nodes(*node.back.node)
                                                            : node.back.cell->visible;
    const uint32_t seen = front | back;
    if ((seen & 1u) != 0) {
        node.flags |= BSP_VISIBLE;
    } else {
        node.flags &= ~BSP_VISIBLE;
    }
    return seen;
}

void visit_list(const Cell& cell, int type, uint32_t arg)
{
    for (const EntityLink* link = cell.lists[type]; link != nullptr; link = link->next) {
        link->entity->visit(arg);
    }
}

const uint8_t* pvs_end(const SharedMap& map) { return map.pvs_data + map.pvs_size; }

} // namespace

void unpack_pvs(SharedMap& map, const Cell* cell)
{
    const uint8_t* const pvs = cell != nullptr ? cell->pvs : nullptr;
    if (pvs == map.last_pvs) {
        return;
    }
    map.last_pvs = pvs;
    if (pvs == nullptr) {
        for (int32_t i = 0; i < map.pvs_cells; ++i) {
            map.cells[i].visible = 1;
        }
        for (int32_t j = 0; j < map.node_count; ++j) {
            map.nodes[j].flags |= BSP_VISIBLE;
        }
        return;
    }
    print_format(P_DEBUG2, "Unpacking PVS for cell #%d", static_cast<int>(cell - map.cells));
    Cell* const cells = map.cells;
    pvs_decode(
        pvs, pvs_end(map), map.pvs_cells,
        [cells](int32_t first, int32_t count) {
            for (int32_t i = first; i < first + count; ++i) {
                cells[i].visible = 0;
            }
        },
        [cells](int32_t first, uint32_t byte, int32_t count) {
            for (int32_t k = 0; k < count; ++k) {
                cells[first + k].visible = (byte >> k) & 1u;
            }
        });
    mark_visible_nodes(map.nodes[0]);
}

void for_each_visible_entity(SharedMap& map, const Cell* cell, int type, uint32_t arg)
{
    K_ASSERT(type >= 0 && type < L_ENTITY_TYPES);
    if (cell == nullptr || cell->pvs == nullptr) {
        for (int32_t i = map.link_list.first(); i >= 0; i = map.link_list.next()) {
            Placement* const entity = map.links[i].entity;
            if (entity->entity_type() == type) {
                entity->visit(arg);
            }
        }
        return;
    }
    const Cell* const cells = map.cells;
    pvs_decode(
        cell->pvs, pvs_end(map), map.pvs_cells, [](int32_t, int32_t) {},
        [cells, type, arg](int32_t first, uint32_t byte, int32_t count) {
            for (int32_t k = 0; k < count; ++k) {
                if (((byte >> k) & 1u) != 0) {
                    visit_list(cells[first + k], type, arg);
                }
            }
        });
}
