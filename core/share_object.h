#pragma once
// Base of the objects that server and client of one process share through the
// ShareManager: reference counted, found again by type id and creation arguments.
#include <cstdarg>
#include <cstdint>

// Four characters, the first in the lowest byte: share_type_id ("MapT") == 0x5470614D.
constexpr uint32_t share_type_id(const char (&s)[5])
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3])) << 24;
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
