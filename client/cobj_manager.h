#pragma once
// The client's table of one object class: a fixed array of records addressed
// by slot, the server's object identifier in each used one, and a list of the
// used slots. Slots are found from the identifier's index bits (direct) or by
// probing from a hash of it (hashed). Entity classes derive from it and keep
// their own records beside the common ones, under the same slot index.
#include "core/placement.h"

#include <cstdint>

class NetStreamIn;

// Object identifier: index in bits 0-15, reuse count in bits 16-19, class in 20-23.
constexpr uint32_t OBJID_INDEXMASK = 0x0000FFFFu;
constexpr uint32_t OBJID_COUNTMASK = 0x000F0000u;
constexpr int OBJID_COUNTSHIFT = 16;
constexpr uint32_t OBJID_CLASSMASK = 0x00F00000u;
constexpr int OBJID_CLASSSHIFT = 20;
constexpr int OBJID_CLASSMAX = 16;
constexpr uint32_t OBJID_UNUSED = 0xFFFFFFFFu;

// State bit of an object that the server removed while its class still holds it.
constexpr uint32_t COBJ_REMOVED = 0x10000000u;

constexpr uint32_t make_object_id(uint32_t object_class, uint32_t count, uint32_t index)
{
    return object_class << OBJID_CLASSSHIFT | count << OBJID_COUNTSHIFT | index;
}

// pose[0] is the position and angles, pose[1] the second pair; angles in radians.
struct CObjCommon {
    uint32_t id = OBJID_UNUSED;
    int32_t next = -1;
    uint32_t state = 0;
    AnglePose pose[2] = {};

    void clear() { *this = CObjCommon{}; }
};

class CObjManager {
public:
    CObjManager() = default;
    virtual ~CObjManager();
    CObjManager(const CObjManager&) = delete;
    CObjManager& operator=(const CObjManager&) = delete;

    // The class's own fields of one update, after the common ones; 0 when the
    // update cannot be applied.
    virtual int net_update(int index, uint32_t mask, NetStreamIn& stream) = 0;
    // Makes the class's record of a newly taken slot; 0 when it cannot.
    virtual int link(int index) = 0;
    // Ends the class's record of a removed object; without force it may
    // answer 0 to keep the slot (marked removed) a while longer.
    virtual int unlink(int index, int force) = 0;

    // 1, or 0 when the array cannot be had.
    int create(int max_objects, int hashed);
    void destroy();

    // The slot that now holds id, or -1.
    int grab(uint32_t id);
    // The slot that holds id, or -1.
    int find(uint32_t id) const;
    void release(int index);
    // Iteration over the used slots, newest first; -1 at the end.
    int first();
    int next();
    bool is_allocated(int index) const
    {
        return index >= 0 && index < max_objects_ && common_[index].id != OBJID_UNUSED;
    }

    CObjCommon& common(int index) { return common_[index]; }
    const CObjCommon& common(int index) const { return common_[index]; }
    int max_objects() const { return max_objects_; }
    bool hashed() const { return hashed_ != 0; }
    int first_used() const { return first_; }
    bool iterating() const { return iterator_ != -1; }

private:
    int home_slot(uint32_t id) const;
    void free_array();

    int32_t first_ = -1;
    int32_t iterator_ = -1;
    int hashed_ = 0;
    int32_t max_objects_ = 0;
    CObjCommon* common_ = nullptr;
};
