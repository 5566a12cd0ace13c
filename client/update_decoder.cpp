#include "client/update_decoder.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_stream_in.h"

namespace {

constexpr float TWO_PI = 6.2831855f; // 0x40C90FDB

// The mask bits in the order they are sent: the first group, then the second.
constexpr uint32_t first_group[] = {UPD_POS_X, UPD_POS_Y, UPD_POS_Z, UPD_ANGLE_0, UPD_ANGLE_1, UPD_ANGLE_2,
                                    UPD_EXTENDED};
constexpr uint32_t second_group[] = {UPD_POS2, UPD_ANGLE2_0, UPD_ANGLE2_1, UPD_ANGLE2_2, UPD_CREATE, UPD_CLASS_BIT,
                                     UPD_WIDE};

// The common fields of one record, read before any of them is applied, so
// that a record cut short changes nothing.
struct CommonFields {
    float position[3] = {};
    float position2[3] = {};
    float angles[3] = {};
    float angles2[3] = {};
};

void read_common(NetStreamIn& s, uint32_t mask, int object_class, CommonFields& f)
{
    const bool wide = (mask & UPD_WIDE) != 0;
    const auto coord = [&]() { return wide ? decode_coord20(s.read_bits(20)) : decode_coord17(s.read_bits(17)); };
    const auto angle = [&]() {
        return object_class == OBJCLASS_CAMERA ? decode_angle14(s.read_bits(14)) : decode_angle12(s.read_bits(12));
    };
    for (int i = 0; i < 3; ++i) {
        if ((mask & (UPD_POS_X << i)) != 0) {
            f.position[i] = coord();
        }
    }
    if ((mask & UPD_POS2) != 0) {
        for (float& c : f.position2) {
            c = coord();
        }
    }
    for (int i = 0; i < 3; ++i) {
        if ((mask & (UPD_ANGLE_0 << i)) != 0) {
            f.angles[i] = angle();
        }
    }
    for (int i = 0; i < 3; ++i) {
        if ((mask & (UPD_ANGLE2_0 << i)) != 0) {
            f.angles2[i] = angle();
        }
    }
}

void apply_common(CObjCommon& c, uint32_t mask, const CommonFields& f)
{
    float* const position[3] = {&c.pose[0].position.x, &c.pose[0].position.y, &c.pose[0].position.z};
    float* const position2[3] = {&c.pose[1].position.x, &c.pose[1].position.y, &c.pose[1].position.z};
    float* const angles[3] = {&c.pose[0].a, &c.pose[0].b, &c.pose[0].c};
    float* const angles2[3] = {&c.pose[1].a, &c.pose[1].b, &c.pose[1].c};
    for (int i = 0; i < 3; ++i) {
        if ((mask & (UPD_POS_X << i)) != 0) {
            *position[i] = f.position[i];
        }
        if ((mask & UPD_POS2) != 0) {
            *position2[i] = f.position2[i];
        }
        if ((mask & (UPD_ANGLE_0 << i)) != 0) {
            *angles[i] = f.angles[i];
        }
        if ((mask & (UPD_ANGLE2_0 << i)) != 0) {
            *angles2[i] = f.angles2[i];
        }
    }
}

} // namespace

float decode_coord20(uint32_t raw) { return static_cast<float>(raw) * 0.125f - 65536.0f; }

float decode_coord17(uint32_t raw) { return static_cast<float>(raw) * 0.125f - 8192.0f; }

float decode_angle12(uint32_t raw) { return static_cast<float>(raw) * (1.0f / 4096.0f) * TWO_PI; }

float decode_angle14(uint32_t raw) { return static_cast<float>(raw) * (1.0f / 16384.0f) * TWO_PI; }

UpdateDecoder::UpdateDecoder()
{
    K_ASSERT(cvar_list);
    size_stats_ = cvar_list->link(CVTYPE_BOOL, 0x100, "Net_SizeStats", nullptr, 0);
}

UpdateDecoder::~UpdateDecoder()
{
    release_variable(size_stats_);
}

void UpdateDecoder::register_class(int cid, CObjManager* manager)
{
    K_ASSERT(cid >= 0 && cid < OBJID_CLASSMAX);
    classes_[cid] = manager;
}

void UpdateDecoder::clear_classes()
{
    for (CObjManager*& m : classes_) {
        m = nullptr;
    }
}

UpdateResult UpdateDecoder::net_update(NetStreamIn& stream)
{
    const bool report = size_stats_ != nullptr && size_stats_->is_true();
    if (report) {
        print_string(P_DEBUG, "\nObject update message sizes:");
    }
    const int32_t stamp = static_cast<int32_t>(stream.read32());
    if (stream.length() < 0) {
        ++damaged_messages;
        return UpdateResult::damaged;
    }
    if (stamp < latest_stamp) {
        print_string(P_DEBUG, "Client: Got stale update message");
        return UpdateResult::stale;
    }
    if (stamp == latest_stamp) {
        print_string(P_DEBUG, "Client: Got duplicate update message");
        return UpdateResult::duplicate;
    }
    previous_stamp = latest_stamp;
    latest_stamp = stamp;

    int32_t total = 0;
    UpdateResult result = UpdateResult::applied;
    while (!stream.at_end()) {
        result = decode_record(stream, report, total);
        if (result != UpdateResult::applied) {
            ++damaged_messages;
            break;
        }
    }
    if (report) {
        print_format(P_DEBUG, "Total - %d bits (%d bytes)", total, (total + 7) / 8);
        print_string(P_DEBUG, "");
        size_stats_->set_bool(0);
    }
    return result;
}

UpdateResult UpdateDecoder::decode_record(NetStreamIn& stream, bool report, int32_t& total_bits)
{
    (void)stream.take_bits_read();
    const uint32_t wide_index = stream.read_bits(1);
    const uint32_t index = stream.read_bits(wide_index != 0 ? 16 : 8);
    const uint32_t count = stream.read_bits(4);
    const uint32_t object_class = stream.read_bits(4);
    if (stream.length() < 0) {
        print_string(P_WARNING, "Net update: Damaged object id");
        return UpdateResult::damaged;
    }
    const uint32_t id = make_object_id(object_class, count, index);
    CObjManager* const m = classes_[object_class];
    if (m == nullptr) {
        print_format(P_WARNING, "Net update: Unregistered object class %d !", static_cast<int>(object_class));
        return UpdateResult::damaged;
    }

    const uint32_t remove = stream.read_bits(1);
    if (stream.length() < 0) {
        return UpdateResult::damaged;
    }
    if (remove != 0) {
        const int slot = m->find(id);
        if (slot >= 0) {
            if (m->unlink(slot, 0) != 0) {
                m->release(slot);
            } else {
                m->common(slot).state |= COBJ_REMOVED;
            }
        }
        if (report) {
            print_format(P_DEBUG, "Object 0x%x kill - %d bits", id, stream.take_bits_read());
        }
        return UpdateResult::applied;
    }

    uint32_t mask = 0;
    for (const uint32_t bit : first_group) {
        mask |= stream.read_bits(1) != 0 ? bit : 0;
    }
    if ((mask & UPD_EXTENDED) != 0) {
        for (const uint32_t bit : second_group) {
            mask |= stream.read_bits(1) != 0 ? bit : 0;
        }
    }
    CommonFields fields;
    read_common(stream, mask, static_cast<int>(object_class), fields);
    if (stream.length() < 0) {
        print_format(P_WARNING, "Net update: Object 0x%x cut short", id);
        return UpdateResult::damaged;
    }

    int slot = m->find(id);
    if (slot >= 0 && (m->common(slot).state & COBJ_REMOVED) != 0) {
        if ((mask & UPD_CREATE) == 0) {
            print_string(P_ERROR, "Net update: Update received for released object");
            return UpdateResult::ended;
        }
        print_format(P_DEBUG, "Net update: Prekill (0x%x)", id);
        (void)m->unlink(slot, 1);
        m->release(slot);
        slot = -1;
    }
    if (slot < 0) {
        if ((mask & UPD_CREATE) == 0) {
            print_format(P_WARNING, "Net update: Object 0x%x does not exist", id);
            return UpdateResult::ended;
        }
        slot = m->grab(id);
        if (slot < 0) {
            print_string(P_ERROR, "Net update: Can't allocate new common object");
            return UpdateResult::ended;
        }
        if (m->link(slot) == 0) {
            m->release(slot);
            print_string(P_ERROR, "Net update: Can't allocate new type-specific object");
            return UpdateResult::ended;
        }
    }

    apply_common(m->common(slot), mask, fields);
    if (m->net_update(slot, mask, stream) == 0) {
        print_format(P_WARNING, "Net update: Can't update object %d !", slot);
        return UpdateResult::ended;
    }
    if (stream.length() < 0) {
        print_format(P_WARNING, "Net update: Object 0x%x cut short", id);
        return UpdateResult::damaged;
    }
    if (report) {
        const int32_t bits = stream.take_bits_read();
        print_format(P_DEBUG, "Object 0x%x - %d bits", id, bits);
        total_bits += bits;
    }
    return UpdateResult::applied;
}
