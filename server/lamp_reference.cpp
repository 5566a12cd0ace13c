#include "server/lamp_reference.h"

#include "net/net_stream_out.h"
#include "server/object_id.h"

bool is_lamp_id(uint32_t id)
{
    const int c = object_class_of(id);
    return c == OBJCLASS_MAPLAMP || c == OBJCLASS_DYNALAMP;
}

void write_lamp_reference(NetStreamOut* msg, uint32_t lamp)
{
    const uint32_t index = lamp & OBJID_INDEXMASK;
    const bool wide = index >= 256;
    msg->write_bits(wide ? 1u : 0u, 1);
    msg->write_bits(index, wide ? 16 : 8);
    msg->write_bits((lamp & OBJID_COUNTMASK) >> 16, 4);
    msg->write_bits(object_class_of(lamp) == OBJCLASS_MAPLAMP ? 1u : 0u, 1);
}
