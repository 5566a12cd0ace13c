#pragma once
// An entity for link tests: any entity type, counting its visits.
#include "core/placement.h"
#include "world/shared_map.h"

#include <set>
#include <vector>

class TestEntity : public Placement {
public:
    explicit TestEntity(int type = 6) : type_(type) {}
    int entity_type() const override { return type_; }
    void visit(uint32_t arg) override { visits.push_back(arg); }

    void place(float x, float y, float z, float r)
    {
        position = Vector{x, y, z};
        radius = r;
    }

    std::vector<uint32_t> visits;

private:
    int type_;
};

// The cells whose list of the entity's type holds it; a cell holding it
// twice is reported as -1 - cell.
inline std::set<int> cells_holding(const SharedMap& map, const Placement& entity)
{
    std::set<int> cells;
    const int type = entity.entity_type();
    for (int c = 0; c < map.cell_count; ++c) {
        int n = 0;
        for (const EntityLink* l = map.cells[c].lists[type]; l != nullptr; l = l->next) {
            n += l->entity == &entity ? 1 : 0;
        }
        if (n > 0) {
            cells.insert(n == 1 ? c : -1 - c);
        }
    }
    return cells;
}
