#include "server/plain_managers.h"

#include "core/kassert.h"
#include "world/entity_link.h"
#include "world/shared_map.h"

#include <new>

int PlainObjectManager::set_property(int32_t, uint32_t, int, SObjArgs) { return 0; }

int PlainObjectManager::class_part_bits(int32_t, int32_t, uint32_t*) { return 0; }

int PlainObjectManager::write_class_parts(int, int32_t, int32_t, int32_t, uint32_t, NetStreamOut*) { return 1; }

int PlainObjectManager::on_create(int32_t, int32_t) { return 1; }

void PlainObjectManager::on_release(int32_t) {}

void PlainObjectManager::reset_client(int) {}

LinkedObjectManager::~LinkedObjectManager() { stop(); }

int LinkedObjectManager::start(SharedMap* map, int32_t n)
{
    K_ASSERT(map);
    stop();
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

void LinkedObjectManager::stop()
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

int LinkedObjectManager::on_create(int32_t, int32_t index)
{
    AudienceFilter& f = filters_[index];
    f.init();
    f.linked_centre = Vector{0.0f, 0.0f, 0.0f};
    f.linked_radius = 0.0f;
    f.radius = AUDIENCE_FILTER_RADIUS;
    f.object = &common[index];
    return 1;
}

void LinkedObjectManager::on_release(int32_t index)
{
    unlink_entity(*map_, filters_[index]);
    filters_[index].object = nullptr;
}

void LinkedObjectManager::relink(int32_t index, const Matrix& transform)
{
    AudienceFilter& f = filters_[index];
    mat_get_translation(f.position, transform);
    link_entity(*map_, f);
}
