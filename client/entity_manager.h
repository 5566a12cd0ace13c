#pragma once
// The pattern of the client's entity classes: a CObjManager that keeps one
// record of its own per slot, under the slot's index, and the world whose
// cells its drawable records are linked into.
#include "client/cobj_manager.h"

#include <memory>
#include <new>

class SharedMap;
class Placement;

// The ten placement bits of a part mask (positions and angles of both poses).
constexpr uint32_t ENTITY_PLACEMENT_BITS = 0x3FF & ~0x400u;

// unlink_entity, for the template below without the world's header.
void unlink_from_world(SharedMap& world, Placement& record);

template <typename Record>
class EntityManager : public CObjManager {
public:
    Record& record(int i) { return records_[i]; }
    const Record& record(int i) const { return records_[i]; }
    SharedMap* world() const { return world_; }

protected:
    // The table and one record a slot, after whatever an earlier create made
    // is gone; 1, or 0 when memory runs out.
    int create_records(SharedMap* world, int capacity, int hashed)
    {
        destroy_records();
        if (CObjManager::create(capacity, hashed) == 0) {
            return 0;
        }
        records_.reset(new (std::nothrow) Record[capacity > 0 ? capacity : 1]);
        if (records_ == nullptr) {
            CObjManager::destroy();
            return 0;
        }
        world_ = world;
        return 1;
    }
    void destroy_records()
    {
        records_.reset();
        world_ = nullptr;
        CObjManager::destroy();
    }
    bool has_records() const { return records_ != nullptr; }
    // Takes every used slot's record out of the world's cells, before the
    // records or the world go.
    void unlink_records();

    SharedMap* world_ = nullptr;

private:
    std::unique_ptr<Record[]> records_;
};

template <typename Record>
void EntityManager<Record>::unlink_records()
{
    if (world_ == nullptr || records_ == nullptr) {
        return;
    }
    for (int i = first_used(); i >= 0; i = common(i).next) {
        unlink_from_world(*world_, records_[i]);
    }
}
// A record's placement from the slot's pose, then relinked where its sphere
// now lies.
void place_entity(SharedMap& world, Placement& record, const CObjCommon& common);
