#include "server/object_list.h"

#include "core/kassert.h"
#include "core/print.h"

#include <cstddef>
#include <new>

void ActiveEntry::clear()
{
    next = -1;
    id = -1;
    enter = -1;
    leave = -1;
    flags = 0;
    leave_sent = -1;
    pending_from = -1;
    pending_until = -1;
    pending = false;
}

int ObjectList::allocate(int32_t n)
{
    K_ASSERT(n > 0);
    free();
    entries = new (std::nothrow) ActiveEntry[static_cast<size_t>(n)];
    if (entries == nullptr) {
        return 0;
    }
    for (int32_t i = 0; i < n; ++i) {
        entries[i].clear();
    }
    capacity = n;
    return 1;
}

void ObjectList::free()
{
    delete[] entries;
    entries = nullptr;
    capacity = 0;
    first = -1;
    used = 0;
    free_hint_ = 0;
    resume_id = -1;
    newest_sent = -1;
}

int32_t ObjectList::active_list_add(int32_t id, int32_t enter)
{
    for (int32_t i = free_hint_; i < capacity; ++i) {
        ActiveEntry& e = entries[i];
        if (e.id != -1) {
            continue;
        }
        e.clear();
        e.id = id;
        e.enter = enter;
        e.next = first;
        first = i;
        ++used;
        free_hint_ = i + 1;
        return i;
    }
    free_hint_ = capacity;
    print_string(P_WARNING, "Server: Too many active client objects");
    return -1;
}

void ObjectList::remove_entry(int32_t entry)
{
    K_ASSERT(first != -1);
    int32_t* link = &first;
    while (*link != entry) {
        K_ASSERT(*link != -1);
        link = &entries[*link].next;
    }
    *link = entries[entry].next;
    entries[entry].clear();
    --used;
    if (entry < free_hint_) {
        free_hint_ = entry;
    }
}

int ObjectList::active_list_remove(int32_t id)
{
    K_ASSERT(first != -1);
    for (int32_t i = first; i != -1; i = entries[i].next) {
        if (entries[i].id == id) {
            remove_entry(i);
            return 1;
        }
    }
    print_format(P_ERROR, "Server: Object 0x%x not found in active list", static_cast<uint32_t>(id));
    return 0;
}
