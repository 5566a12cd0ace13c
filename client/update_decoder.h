#pragma once
// Reads the server's object update messages into the class managers: checks
// the message's stamp, then creates, updates and removes objects record by
// record, handing each record's class-specific rest to its class. Decoding
// stops at the first record that is damaged or cannot be applied; the records
// before it stay applied.
#include "client/cobj_manager.h"

#include <cstdint>

class ConfigVariable;
class NetStreamIn;

// Part mask bits of one object record.
constexpr uint32_t UPD_POS_X = 0x1;
constexpr uint32_t UPD_POS_Y = 0x2;
constexpr uint32_t UPD_POS_Z = 0x4;
constexpr uint32_t UPD_ANGLE_0 = 0x8;
constexpr uint32_t UPD_ANGLE_1 = 0x10;
constexpr uint32_t UPD_ANGLE_2 = 0x20;
constexpr uint32_t UPD_POS2 = 0x40;
constexpr uint32_t UPD_ANGLE2_0 = 0x80;
constexpr uint32_t UPD_ANGLE2_1 = 0x100;
constexpr uint32_t UPD_ANGLE2_2 = 0x200;
constexpr uint32_t UPD_CREATE = 0x400;
constexpr uint32_t UPD_CLASS_BIT = 0x800; // passed to the class unread
constexpr uint32_t UPD_WIDE = 0x1000;     // 20-bit positions
constexpr uint32_t UPD_EXTENDED = 0x2000; // the second group of mask bits follows
constexpr uint32_t UPD_PLACEMENT = 0x3FF & ~UPD_CREATE;

constexpr int OBJCLASS_CAMERA = 10;

// Outcome of one message.
enum class UpdateResult {
    applied,   // every record applied
    stale,     // stamp below the latest: ignored
    duplicate, // stamp equal to the latest: ignored
    ended,     // a record could not be applied (unknown object, full table, ...)
    damaged,   // the message itself is malformed
};

// Field decoders of the common fields (raw unsigned field in, value out).
float decode_coord20(uint32_t raw);
float decode_coord17(uint32_t raw);
float decode_angle12(uint32_t raw);
float decode_angle14(uint32_t raw);

class UpdateDecoder {
public:
    UpdateDecoder();
    virtual ~UpdateDecoder();
    UpdateDecoder(const UpdateDecoder&) = delete;
    UpdateDecoder& operator=(const UpdateDecoder&) = delete;

    // cid 0 ... 15; null unregisters.
    void register_class(int cid, CObjManager* manager);
    void clear_classes();
    CObjManager* manager(int cid) const { return classes_[cid]; }

    UpdateResult net_update(NetStreamIn& stream);
    void reset_stamps() { previous_stamp = latest_stamp = -1; }

    int32_t previous_stamp = -1;
    int32_t latest_stamp = -1;
    // Messages that ended early because they were malformed or named what the
    // client does not hold.
    int32_t damaged_messages = 0;

private:
    UpdateResult decode_record(NetStreamIn& stream, bool report, int32_t& total_bits);

    CObjManager* classes_[OBJID_CLASSMAX] = {};
    ConfigVariable* size_stats_ = nullptr;
};
