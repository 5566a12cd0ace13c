#pragma once
// Reference-counted objects shared by server and client in one process
// ("MapT", "VolT"): a holder asks by type id and creation arguments and gets
// the live object that matches, or a new one from the type's create function.
#include "core/share_object.h"

#include <cstdarg>
#include <cstdint>

class ShareManager {
public:
    ShareManager() = default;
    // Every holder must have released its objects by now.
    ~ShareManager();
    ShareManager(const ShareManager&) = delete;
    ShareManager& operator=(const ShareManager&) = delete;

    // 1 when registered (again with the same function), 0 on a different
    // function or no memory.
    int register_type(uint32_t id, ShareCreateFunction create);
    ShareObject* acquire(uint32_t id, ...);
    ShareObject* vacquire(uint32_t id, va_list args);
    void release(ShareObject* object);

private:
    struct TypeRecord {
        TypeRecord* next;
        uint32_t id;
        ShareCreateFunction create;
    };

    TypeRecord* types_ = nullptr;    // newest first
    ShareObject* objects_ = nullptr; // live objects, newest first
};
