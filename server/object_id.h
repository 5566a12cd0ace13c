#pragma once
// Object identifiers, shared with the client: the index in the class's array
// (bits 0-15), a reuse count of that index (bits 16-19) and the class (bits
// 20-23). On the wire: a wide flag, an 8- or 16-bit index, the count, the class.
#include <cstdint>

class NetStreamOut;

constexpr uint32_t OBJID_INDEXMASK = 0xFFFF;
constexpr uint32_t OBJID_COUNTMASK = 0xF0000;
constexpr uint32_t OBJID_COUNTSTEP = 0x10000;
constexpr uint32_t OBJID_STOREDMASK = OBJID_INDEXMASK | OBJID_COUNTMASK;
constexpr uint32_t OBJID_CLASSMASK = 0xF00000;
constexpr int OBJID_CLASSSHIFT = 20;
constexpr int OBJID_CLASSMAX = 16;
constexpr int32_t OBJID_UNUSED = -1;

constexpr int OBJCLASS_MAPLAMP = 1;
constexpr int OBJCLASS_DYNALAMP = 2;
constexpr int OBJCLASS_DYNLIGHT = 3;
constexpr int OBJCLASS_LENSFLARE = 4;
constexpr int OBJCLASS_MESH = 5;
constexpr int OBJCLASS_SPRITE = 6;
constexpr int OBJCLASS_BSP = 7;
constexpr int OBJCLASS_PARTICLE = 8;
constexpr int OBJCLASS_SOUND = 9;
constexpr int OBJCLASS_CAMERA = 10;
constexpr int OBJCLASS_ICON = 11;

constexpr uint32_t object_id(int object_class, uint32_t stored)
{
    return (stored & OBJID_STOREDMASK) | (static_cast<uint32_t>(object_class) << OBJID_CLASSSHIFT);
}
constexpr int object_class_of(uint32_t id) { return static_cast<int>((id & OBJID_CLASSMASK) >> OBJID_CLASSSHIFT); }
constexpr int32_t object_index_of(uint32_t id) { return static_cast<int32_t>(id & OBJID_INDEXMASK); }

// Bits of the wire form: 17 for an index below 256, else 25.
constexpr int object_id_bits(uint32_t id) { return (id & OBJID_INDEXMASK) >= 256 ? 25 : 17; }

// 0, or 1 when the stream overflowed.
int write_object_id(uint32_t id, NetStreamOut* msg);
