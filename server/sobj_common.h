#pragma once
// The record that every server object of every class carries, its flag bits,
// change stamps and part bits, and the audience rule of objects.
#include "core/vector.h"

#include <cstdint>

// Flag bits.
constexpr uint32_t SOBJF_CHANGED = 0x0001;   // set by every setter and the carrier update
constexpr uint32_t SOBJF_ADMITTED = 0x0010;  // the client now being served may receive it
constexpr uint32_t SOBJF_CACTIVE = 0x0020;   // in the active list of the client now being served
constexpr uint32_t SOBJF_HELD = 0x0040;      // in some client's active list this frame: not purged
constexpr uint32_t SOBJF_TRANSIENT = 0x1000; // destroyed once 17 ticks old
constexpr uint32_t SOBJF_DESTROY = 0x2000;   // released at the next purge, no longer admitted
constexpr uint32_t SOBJF_DESTROYED = 0x4000; // the record is free

constexpr int32_t SOBJ_TRANSIENT_TICKS = 17;

// Change stamps: ticks of the last change of each sent field, -1 when never.
constexpr int SOBJ_STAMP_POSITION = 0;      // x, y, z
constexpr int SOBJ_STAMP_CARRIER_ANGLE = 3; // three angles
constexpr int SOBJ_STAMP_OFFSET = 6;
constexpr int SOBJ_STAMP_OWN_ANGLE = 7;     // three angles
constexpr int SOBJ_STAMP_RESET = 10;        // interpolation reset
constexpr int SOBJ_STAMPS = 11;

// Part bits of an update record; classes add theirs from bit 16 up.
constexpr uint32_t SOBJ_PART_POSITION = 0x1;      // x; y 0x2, z 0x4
constexpr uint32_t SOBJ_PART_CARRIER_ANGLE = 0x8; // first; then 0x10, 0x20
constexpr uint32_t SOBJ_PART_OFFSET = 0x40;
constexpr uint32_t SOBJ_PART_OWN_ANGLE = 0x80;    // first; then 0x100, 0x200
constexpr uint32_t SOBJ_PART_CREATE = 0x400;
constexpr uint32_t SOBJ_PART_RESET = 0x800;       // interpolation reset or full create
constexpr uint32_t SOBJ_PART_WIDE = 0x1000;       // 20-bit positions
constexpr uint32_t SOBJ_PART_MORE = 0x2000;       // the second group of bits follows
constexpr uint32_t SOBJ_PART_CLASS = 0x10000;     // the first class part
constexpr uint32_t SOBJ_PARTS_POSITION = 0x7;
constexpr uint32_t SOBJ_PARTS_SECOND_GROUP = 0x1FC0;

// Audience values.
constexpr int32_t AUDIENCE_EVERYONE = -2;
constexpr int32_t AUDIENCE_NOBODY = -1;
constexpr int32_t AUDIENCE_ALL_BUT = 0x10000; // with the excluded client in bits 0-15

// Positions below this magnitude travel in 17 bits, the others in 20.
constexpr float NETM_SPOS_MAX = 8192.0f;

struct SObjCommon {
    uint32_t id;        // index and reuse count
    int32_t audience;
    int32_t physical;   // carrying physical entity, -1 when unbound
    uint32_t flags;
    int32_t next;       // next used record, -1 at the end
    Vector position;    // from the carrier
    float carrier_angles[3]; // fractions of a turn in [0, 1)
    Vector offset;      // place on the carrier
    float own_angles[3];     // fractions of a turn in [0, 1)
    int32_t stamp[SOBJ_STAMPS];
    int32_t tick_create; // -1 while free
    int32_t entry;       // scratch of the update writer: the served client's list entry

    void reset();
};

// Whether an object's audience lets the client receive it.
bool audience_admits(int32_t audience, int client);

// Radians to a fraction of a turn in [0, 1); 0 for infinities and NaN.
float turn_fraction(float radians);
// A fraction of a turn brought into [0, 1); 0 for infinities and NaN.
float wrap_fraction(float fraction);
