#include "client/cobj_manager.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"

#include <new>

CObjManager::~CObjManager() { free_array(); }

void CObjManager::free_array()
{
    if (common_ != nullptr) {
        kheap_release(common_);
        common_ = nullptr;
    }
}

int CObjManager::create(int max_objects, int hashed)
{
    free_array();
    first_ = -1;
    iterator_ = -1;
    max_objects_ = 0;
    if (max_objects < 0) {
        return 0;
    }
    if (max_objects == 0) {
        hashed_ = hashed != 0 ? 1 : 0;
        return 1;
    }
    void* const p =
        kheap_alloc(sizeof(CObjCommon) * static_cast<size_t>(max_objects), KHEAP_FROM_BOTTOM, "CObjCommon");
    if (p == nullptr) {
        return 0;
    }
    common_ = static_cast<CObjCommon*>(p);
    for (int i = 0; i < max_objects; ++i) {
        new (&common_[i]) CObjCommon;
    }
    max_objects_ = max_objects;
    hashed_ = hashed != 0 ? 1 : 0;
    return 1;
}

void CObjManager::destroy()
{
    free_array();
    first_ = -1;
    iterator_ = -1;
    max_objects_ = 0;
}

int CObjManager::home_slot(uint32_t id) const
{
    return static_cast<int>((id & 0xFFFFFu) % static_cast<uint32_t>(max_objects_));
}

int CObjManager::grab(uint32_t id)
{
    K_ASSERT(iterator_ == -1);
    int slot = -1;
    if (hashed_ != 0) {
        if (max_objects_ <= 0) {
            return -1;
        }
        int i = home_slot(id);
        for (int n = 0; n < max_objects_; ++n) {
            if (common_[i].id == OBJID_UNUSED) {
                slot = i;
                break;
            }
            i = i + 1 < max_objects_ ? i + 1 : 0;
        }
        if (slot < 0) {
            return -1;
        }
    } else {
        const int i = static_cast<int>(id & OBJID_INDEXMASK);
        if (i >= max_objects_) {
            print_format(P_ERROR, "Client: Can't grab 0x%x - index out of range", id);
            return -1;
        }
        if (common_[i].id != OBJID_UNUSED) {
            print_format(P_ERROR, "Client: Can't grab 0x%x - not free", id);
            return -1;
        }
        slot = i;
    }
    common_[slot].id = id;
    common_[slot].next = first_;
    first_ = slot;
    return slot;
}

int CObjManager::find(uint32_t id) const
{
    if (hashed_ != 0) {
        if (max_objects_ <= 0) {
            return -1;
        }
        int i = home_slot(id);
        for (int n = 0; n < max_objects_; ++n) {
            if (common_[i].id == id) {
                return i;
            }
            i = i + 1 < max_objects_ ? i + 1 : 0;
        }
        return -1;
    }
    const int i = static_cast<int>(id & OBJID_INDEXMASK);
    if (i >= max_objects_) {
        print_format(P_ERROR, "Client: Can't find 0x%x - index out of range", id);
        return -1;
    }
    return common_[i].id == id ? i : -1;
}

void CObjManager::release(int index)
{
    K_ASSERT(index >= 0 && index < max_objects_);
    if (common_[index].id == OBJID_UNUSED) {
        const int object_class =
            first_ >= 0 ? static_cast<int>((common_[first_].id & OBJID_CLASSMASK) >> OBJID_CLASSSHIFT) : -1;
        print_format(P_ERROR, "Client: Duplicate free (class %d, index 0x%x)", object_class,
                     static_cast<unsigned>(index));
        return;
    }
    if (iterator_ == index) {
        iterator_ = common_[index].next;
    }
    if (first_ == index) {
        first_ = common_[index].next;
    } else {
        int i = first_;
        while (common_[i].next != index) {
            K_ASSERT(common_[i].next != -1);
            i = common_[i].next;
        }
        common_[i].next = common_[index].next;
    }
    common_[index].clear();
}

int CObjManager::first()
{
    K_ASSERT(iterator_ == -1);
    if (first_ < 0) {
        return -1;
    }
    iterator_ = common_[first_].next;
    return first_;
}

int CObjManager::next()
{
    K_ASSERT(iterator_ < max_objects_);
    const int i = iterator_;
    if (i >= 0) {
        iterator_ = common_[i].next;
    }
    return i;
}
