#pragma once
// A reference decoder of the object update message (id 0x60): a u32 stamp,
// then records to the end of the message, each an object id (wide flag, 8-
// or 16-bit index, 4-bit reuse count, 4-bit class), a leave bit, the part
// mask in one or two groups of seven bits, 17- or 20-bit positions, offsets,
// 12-bit angles (14 for cameras) and the class parts. Written from the wire
// layout alone, to check the server's writer (and, later, the client's reader).
#include "tools/fake_client/class_records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fake_client {

class BitReader;

struct UpdateRecord {
    uint32_t id = 0; // index, count << 16, class << 20
    int object_class = 0;
    uint32_t index = 0;
    uint32_t count = 0;
    bool wide_id = false;
    bool leave = false;
    uint32_t mask = 0; // 0x1..0x1000 and 0x2000, as the server names the parts
    bool create() const { return (mask & 0x400) != 0; }

    uint32_t position_code[3] = {}; // valid for the mask bits 0x1, 0x2, 0x4
    uint32_t offset_code[3] = {};   // valid with 0x40
    uint32_t carrier_code[3] = {};  // 0x8, 0x10, 0x20
    uint32_t own_code[3] = {};      // 0x80, 0x100, 0x200
    int angle_bits = 12;
    bool wide_positions() const { return (mask & 0x1000) != 0; }
    // The same parts in world units and fractions of a turn.
    double position[3] = {};
    double offset[3] = {};
    double carrier[3] = {};
    double own[3] = {};

    // The class parts of the record's class.
    LampParts lamp;
    LightParts light;
    FlareParts flare;
    MeshParts mesh;
    CacheRef sprite; // valid in create records
    ParticleParts particle;
    std::optional<CacheRef> particle_block; // create records
    SoundParts sound;
    IconParts icon;

    // Cameras: the parts that follow a record with the second group.
    bool camera_parts = false;
    bool filter_present = false;
    uint32_t filter[4] = {};
    bool zoom_present = false;
    uint32_t zoom[2] = {};

    int32_t bits = 0; // the record's length
};

struct UpdateMessage {
    int32_t stamp = -1;
    std::vector<UpdateRecord> records;
    std::string error; // empty when the message decoded whole
};

// Reads the class parts of the record's class after its common parts.
void decode_class_parts(BitReader& in, UpdateRecord& r);

// Decodes a whole message of `bits` bits.
UpdateMessage decode_update(const uint8_t* data, int32_t bits);

// A position code back to world units; the angle code to a fraction of a turn.
double position_value(uint32_t code, bool wide);
double angle_value(uint32_t code, int bits);

} // namespace fake_client
