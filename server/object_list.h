#pragma once
// A client's active objects: those it has been sent a create record of and
// not yet acknowledged the leave of. A fixed pool of entries, newest first,
// with what the update writer keeps per client.
#include <cstdint>

constexpr int32_t OBJECT_LIST_CAPACITY = 1024;
// A stamp not yet carried by a message: whatever the client acknowledges,
// the record must go out again.
constexpr int32_t STAMP_UNCONFIRMED = INT32_MAX;

constexpr uint32_t ACTIVE_LEAVE_SENT = 0x1;

struct ActiveEntry {
    int32_t next;
    int32_t id;       // with its class; -1 in a free entry
    int32_t enter;    // stamp of the message that first carried the create record
    int32_t leave;    // stamp at which the object was first found not admitted; -1 while admitted
    uint32_t flags;
    int32_t leave_sent;    // stamp from which every message carried the leave record
    int32_t pending_from;  // older acknowledgement its parts are measured from; -1 with pending clear
    int32_t pending_until; // stamp from which every message carried those parts
    bool pending;

    void clear();
};

class ObjectList {
public:
    ObjectList() = default;
    ~ObjectList() { free(); }
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;

    // n free entries: 1, or 0 when memory fails.
    int allocate(int32_t n);
    void free();

    // The entry of a new object put first, or -1 when the list is full.
    int32_t active_list_add(int32_t id, int32_t enter);
    // 1, or 0 (with a message) when the id is not in the list.
    int active_list_remove(int32_t id);
    void remove_entry(int32_t entry);

    int32_t capacity = 0;
    ActiveEntry* entries = nullptr;
    int32_t first = -1;
    int32_t used = 0;
    // The update writer's place in the order of objects after a message that
    // could not hold them all; -1 to start with the first class.
    int32_t resume_id = -1;
    // The stamp of the newest update sent; -1 after a reset.
    int32_t newest_sent = -1;

private:
    int32_t free_hint_ = 0; // no free entry below it
};
