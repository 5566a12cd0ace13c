#include "server/object_id.h"

#include "core/kassert.h"
#include "net/net_stream_out.h"

int write_object_id(uint32_t id, NetStreamOut* msg)
{
    K_ASSERT(msg);
    const uint32_t index = id & OBJID_INDEXMASK;
    const bool wide = index >= 256;
    int r = msg->write_bits(wide ? 1 : 0, 1);
    r |= msg->write_bits(index, wide ? 16 : 8);
    r |= msg->write_bits((id & OBJID_COUNTMASK) >> 16, 4);
    r |= msg->write_bits((id & OBJID_CLASSMASK) >> OBJID_CLASSSHIFT, 4);
    return r != 0 ? 1 : 0;
}
