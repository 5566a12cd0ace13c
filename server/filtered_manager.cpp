#include "server/filtered_manager.h"

#include "core/kassert.h"
#include "world/entity_link.h"
#include "world/shared_map.h"

#include <new>

FilteredObjectManager::~FilteredObjectManager() { stop_filters(); }

int FilteredObjectManager::start_filters(SharedMap* map, int32_t n)
{
    K_ASSERT(map);
    stop_filters();
    if (init(n) == 0) {
        return 0;
    }
    filters_ = new (std::nothrow) AudienceFilter[static_cast<size_t>(n)];
    if (filters_ == nullptr) {
        done();
        return 0;
    }
    map_ = map;
    return 1;
}

void FilteredObjectManager::stop_filters()
{
    if (filters_ != nullptr) {
        for (int32_t i = head; i >= 0; i = common[i].next) {
            unlink_entity(*map_, filters_[i]);
        }
    }
    delete[] filters_;
    filters_ = nullptr;
    map_ = nullptr;
    done();
}

void FilteredObjectManager::reset_filter(int32_t index, float radius)
{
    AudienceFilter& f = filters_[index];
    f.init();
    f.linked_centre = Vector{0.0f, 0.0f, 0.0f};
    f.linked_radius = 0.0f;
    f.radius = radius;
    f.object = &common[index];
}

void FilteredObjectManager::on_release(int32_t index)
{
    unlink_entity(*map_, filters_[index]);
    filters_[index].object = nullptr;
}

void FilteredObjectManager::relink(int32_t index, const Matrix& transform)
{
    AudienceFilter& f = filters_[index];
    mat_get_translation(f.position, transform);
    link_entity(*map_, f);
}
