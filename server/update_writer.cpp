// The update message of one client. Records go class by class in the order
// of each manager's used list. A record that does not fit is taken back
// whole and the message ends; the next message starts with that object, and
// every object the full message left out keeps what it still owes the client
// (its create, its leave, its changed parts) until a message carrying it is
// acknowledged.
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_out.h"
#include "server/game_protocol.h"
#include "server/object_list.h"
#include "server/sobj_net_mirror.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double WIDE_POSITION_OFFSET = 65536.0;
constexpr double WIDE_POSITION_MAX = 131072.0;
constexpr uint32_t WIDE_CODE_MAX = (1u << 20) - 1;

void write_position(NetStreamOut& msg, float p, bool wide)
{
    if (!wide) {
        const double v = static_cast<double>(p) + NETM_SPOS_MAX;
        K_ASSERT(v >= 0.0 && v <= 2.0 * NETM_SPOS_MAX);
        msg.write_bits(static_cast<uint32_t>(float_to_int_trunc(v * 8.0)), 17);
        return;
    }
    double v = static_cast<double>(p) + WIDE_POSITION_OFFSET;
    if (!(v >= 0.0)) {
        print_format(P_WARNING, "Position out of range (%.2f)", v);
        v = 0.0;
    } else if (v > WIDE_POSITION_MAX) {
        print_format(P_WARNING, "Position out of range (%.2f)", v);
        v = WIDE_POSITION_MAX;
    }
    const uint32_t code = static_cast<uint32_t>(float_to_int_trunc(v * 8.0));
    msg.write_bits(std::min(code, WIDE_CODE_MAX), 20);
}

void write_angle(NetStreamOut& msg, float fraction, int bits)
{
    const int32_t top = (1 << bits) - 1;
    const int32_t code = std::clamp(float_to_int_trunc(static_cast<double>(fraction) * (top + 1)), 0, top);
    msg.write_bits(static_cast<uint32_t>(code), bits);
}

void write_common_parts(NetStreamOut& msg, const SObjCommon& o, uint32_t mask, int angle_bits)
{
    msg.write_bits((mask & 0x3Fu) | ((mask & SOBJ_PART_MORE) != 0 ? 0x40u : 0u), 7);
    if ((mask & SOBJ_PART_MORE) != 0) {
        msg.write_bits((mask >> 6) & 0x7Fu, 7);
    }
    const bool wide = (mask & SOBJ_PART_WIDE) != 0;
    const float position[3] = {o.position.x, o.position.y, o.position.z};
    for (int k = 0; k < 3; ++k) {
        if ((mask & (SOBJ_PART_POSITION << k)) != 0) {
            write_position(msg, position[k], wide);
        }
    }
    if ((mask & SOBJ_PART_OFFSET) != 0) {
        write_position(msg, o.offset.x, wide);
        write_position(msg, o.offset.y, wide);
        write_position(msg, o.offset.z, wide);
    }
    for (int k = 0; k < 3; ++k) {
        if ((mask & (SOBJ_PART_CARRIER_ANGLE << k)) != 0) {
            write_angle(msg, o.carrier_angles[k], angle_bits);
        }
    }
    for (int k = 0; k < 3; ++k) {
        if ((mask & (SOBJ_PART_OWN_ANGLE << k)) != 0) {
            write_angle(msg, o.own_angles[k], angle_bits);
        }
    }
}

enum class Visit { NEXT, FULL, FAILED };

// One client's message in the making.
class UpdateWriter {
public:
    UpdateWriter(SObjNetMirror& mirror, int client, int32_t acked, ObjectList& list, NetStreamOut& msg)
        : mirror_(mirror), client_(client), acked_(acked), list_(list), msg_(msg)
    {
    }

    // Visits every used object once, from the list's resume point; 1 or 0.
    int run();

private:
    void visit_class(int object_class, int32_t from, int32_t stop);
    void visit(int object_class, int32_t index);
    Visit write_object(int object_class, SObjManager& m, int32_t index);
    int32_t effective_ack(ActiveEntry& e) const;
    void owe(ActiveEntry& e) const;

    SObjNetMirror& mirror_;
    const int client_;
    const int32_t acked_;
    ObjectList& list_;
    NetStreamOut& msg_;
    bool stopped_ = false;
    bool resume_next_ = false;
    int result_ = 1;
};

int UpdateWriter::run()
{
    int resume_class = -1;
    int32_t resume_index = -1;
    if (list_.resume_id >= 0) {
        const int c = object_class_of(static_cast<uint32_t>(list_.resume_id));
        SObjManager* const m = mirror_.manager[c];
        if (m != nullptr) {
            resume_index = m->lookup(static_cast<uint32_t>(list_.resume_id));
            resume_class = resume_index >= 0 ? c : -1;
        }
    }
    list_.resume_id = -1;
    if (resume_class < 0) {
        for (int c = 0; c < OBJID_CLASSMAX; ++c) {
            visit_class(c, -1, -1);
        }
        return result_;
    }
    visit_class(resume_class, resume_index, -1);
    for (int c = resume_class + 1; c < OBJID_CLASSMAX; ++c) {
        visit_class(c, -1, -1);
    }
    for (int c = 0; c < resume_class; ++c) {
        visit_class(c, -1, -1);
    }
    visit_class(resume_class, -1, resume_index);
    return result_;
}

// Objects of the class from `from` (-1: the head) up to `stop`.
void UpdateWriter::visit_class(int object_class, int32_t from, int32_t stop)
{
    SObjManager* const m = mirror_.manager[object_class];
    if (m == nullptr) {
        return;
    }
    for (int32_t i = from >= 0 ? from : m->head; i >= 0 && i != stop; i = m->common[i].next) {
        visit(object_class, i);
    }
}

void UpdateWriter::visit(int object_class, int32_t index)
{
    SObjManager& m = *mirror_.manager[object_class];
    SObjCommon& o = m.common[index];
    if (stopped_) {
        if (resume_next_) {
            list_.resume_id = static_cast<int32_t>(object_id(object_class, o.id));
            resume_next_ = false;
        }
        if ((o.flags & SOBJF_CACTIVE) != 0) {
            owe(list_.entries[o.entry]);
        }
        return;
    }
    const Visit v = write_object(object_class, m, index);
    if (v == Visit::NEXT) {
        return;
    }
    stopped_ = true;
    if (v == Visit::FULL) {
        list_.resume_id = static_cast<int32_t>(object_id(object_class, o.id));
    } else {
        // The object that failed waits for the next round, after the others.
        result_ = 0;
        resume_next_ = true;
    }
    if ((o.flags & SOBJF_CACTIVE) != 0) {
        owe(list_.entries[o.entry]);
    }
}

int32_t UpdateWriter::effective_ack(ActiveEntry& e) const
{
    if (e.pending && acked_ >= e.pending_until) {
        e.pending = false;
    }
    return e.pending ? std::min(acked_, e.pending_from) : acked_;
}

// A message left the object out: what it owed goes out again, and only a
// later message that carries it whole may be taken as its acknowledgement.
void UpdateWriter::owe(ActiveEntry& e) const
{
    const int32_t ack = effective_ack(e);
    if ((e.flags & ACTIVE_LEAVE_SENT) != 0) {
        e.leave_sent = STAMP_UNCONFIRMED;
    } else if (ack < e.enter) {
        e.enter = STAMP_UNCONFIRMED;
    } else {
        if (!e.pending) {
            e.pending = true;
            e.pending_from = ack;
        }
        e.pending_until = STAMP_UNCONFIRMED;
    }
}

Visit UpdateWriter::write_object(int object_class, SObjManager& m, int32_t index)
{
    SObjCommon& o = m.common[index];
    K_ASSERT(!(o.flags & SOBJF_DESTROYED));
    const int32_t current = mirror_.current_stamp;
    const uint32_t id = object_id(object_class, o.id);
    ActiveEntry* e = (o.flags & SOBJF_CACTIVE) != 0 ? &list_.entries[o.entry] : nullptr;

    if (e != nullptr) {
        if ((o.flags & SOBJF_ADMITTED) == 0) {
            if (e->leave == -1) {
                e->leave = current;
            }
            if ((e->flags & ACTIVE_LEAVE_SENT) != 0 && acked_ >= e->leave_sent) {
                list_.remove_entry(o.entry);
                o.flags &= ~SOBJF_CACTIVE;
                return Visit::NEXT;
            }
            if (static_cast<int64_t>(current) - e->leave < SOBJ_LEAVE_TICKS && (o.flags & SOBJF_DESTROY) == 0 &&
                audience_admits(o.audience, client_)) {
                o.flags |= SOBJF_ADMITTED;
            }
        } else {
            e->leave = -1;
        }
    }
    const int32_t mark = msg_.bits_written();
    if ((o.flags & SOBJF_ADMITTED) == 0) {
        if (e == nullptr) {
            return Visit::NEXT;
        }
        write_object_id(id, &msg_);
        msg_.write_bits(1, 1);
        if (msg_.overflowed()) {
            msg_.rewind(mark);
            return Visit::FULL;
        }
        if ((e->flags & ACTIVE_LEAVE_SENT) == 0 || e->leave_sent == STAMP_UNCONFIRMED) {
            e->leave_sent = current;
        }
        e->flags |= ACTIVE_LEAVE_SENT;
        return Visit::NEXT;
    }

    uint32_t initial = 0;
    bool added = false;
    ActiveEntry saved{};
    if (e == nullptr) {
        const int32_t entry = list_.active_list_add(static_cast<int32_t>(id), current);
        if (entry < 0) {
            print_format(P_ERROR, "Server net: Can't add 0x%x to active list", id);
            return Visit::FAILED;
        }
        added = true;
        o.entry = entry;
        o.flags |= SOBJF_CACTIVE | SOBJF_HELD;
        e = &list_.entries[entry];
        initial = SOBJ_PART_CREATE;
    } else {
        saved = *e;
        if ((e->flags & ACTIVE_LEAVE_SENT) != 0) {
            e->enter = current;
            e->flags &= ~ACTIVE_LEAVE_SENT;
        }
        initial = effective_ack(*e) < e->enter ? SOBJ_PART_CREATE : 0;
    }
    const int32_t ack = effective_ack(*e);
    uint32_t mask = m.common_part_bits(index, ack, initial);
    const int force = m.class_part_bits(ack, index, &mask);
    if (force == 0 && mask == 0) {
        return Visit::NEXT;
    }
    write_object_id(id, &msg_);
    msg_.write_bits(0, 1);
    write_common_parts(msg_, o, mask, object_class == OBJCLASS_CAMERA ? 14 : 12);
    const int special = msg_.overflowed() ? 1 : m.write_class_parts(client_, current, ack, index, mask, &msg_);
    if (special != 0 && !msg_.overflowed()) {
        if (e->enter == STAMP_UNCONFIRMED) {
            e->enter = current;
        }
        if (e->pending && e->pending_until == STAMP_UNCONFIRMED) {
            e->pending_until = current;
        }
        return Visit::NEXT;
    }
    // Take the record back whole; blocks its class may have sent by cache go again.
    msg_.rewind(mark);
    m.reset_client(client_);
    if (added) {
        list_.remove_entry(o.entry);
        o.flags &= ~SOBJF_CACTIVE;
    } else {
        *e = saved;
    }
    if (special == 0) {
        print_format(P_ERROR, "Server net: Special update failed (class %d, index %d)", object_class, index);
        return Visit::FAILED;
    }
    return Visit::FULL;
}

} // namespace

int SObjNetMirror::write_client_update(int client, int32_t acked, NetSocket* socket, ObjectList* list, bool due)
{
    K_ASSERT(client >= 0);
    K_ASSERT(socket);
    K_ASSERT(list);
    // Only a stamp the client was sent can be acknowledged.
    acked = std::min({acked, current_stamp, list->newest_sent});
    for (int32_t e = list->first; e != -1; e = list->entries[e].next) {
        K_ASSERT(list->entries[e].id >= 0);
        SObjCommon* const o = get_common(list->entries[e].id);
        K_ASSERT(o);
        K_ASSERT(!(o->flags & SOBJF_CACTIVE));
        o->flags |= SOBJF_CACTIVE | SOBJF_HELD;
        o->entry = e;
    }
    if (!due) {
        return 1;
    }
    NetStreamOut msg;
    if (socket->message_begin(&msg, NETM_UPDATE, NET_STREAM_UNRELIABLE) != NET_OK) {
        print_string(P_ERROR, "Server net: Can't start update message");
        return 0;
    }
    if (msg.write32(static_cast<uint32_t>(current_stamp)) != 0) {
        socket->message_end(&msg);
        print_string(P_ERROR, "Server net: Can't start update message");
        return 0;
    }
    written_stamp = current_stamp;
    UpdateWriter writer(*this, client, acked, *list, msg);
    const int result = writer.run();
    if (socket->message_end(&msg) == NET_OK) {
        list->newest_sent = current_stamp;
    }
    return result;
}
