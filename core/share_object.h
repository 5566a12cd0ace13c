#pragma once
// Base of the objects that server and client of one process share through the
// ShareManager: reference counted, found again by type id and creation arguments.
#include "core/four_cc.h"

#include <cstdarg>
#include <cstdint>

// The type id of a shared object: share_type_id ("MapT") == 0x5470614D.
constexpr uint32_t share_type_id(const char (&s)[5])
{
    return four_cc(s);
}

class ShareObject {
public:
    ShareObject() = default;
    // The count must be 0: only the manager destroys shared objects.
    virtual ~ShareObject();
    ShareObject(const ShareObject&) = delete;
    ShareObject& operator=(const ShareObject&) = delete;

    // Non-zero when this object is the one a request for type id with these
    // creation arguments asks for; every class checks the type id itself.
    // args is the callee's own copy.
    virtual int match(uint32_t id, va_list args) = 0;

    int32_t refcount = 0;
    ShareObject* next = nullptr; // the manager's list of live objects

};

// Makes a new object from the creation arguments, with reference count 0, or null.
using ShareCreateFunction = ShareObject* (*)(va_list args);
