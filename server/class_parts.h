#pragma once
// The pieces every class's part of an update shares: whether a part goes to
// a client, and its presence bit on the wire.
#include "net/net_stream_out.h"
#include "server/sobj_common.h"

#include <cstdint>

// The part's bit when it is to be sent: in a create record when the part is
// not at its default, otherwise when it changed after the client's last update.
inline uint32_t part_bit(uint32_t mask, uint32_t bit, bool not_default, int32_t stamp, int32_t last_tick)
{
    const bool create = (mask & SOBJ_PART_CREATE) != 0;
    return (create ? not_default : stamp > last_tick) ? bit : 0u;
}

// Writes the presence bit of a part; whether the part follows. An overflow
// shows in the stream, and the update writer takes the record back.
inline bool write_presence(NetStreamOut* msg, uint32_t mask, uint32_t bit)
{
    const bool present = (mask & bit) != 0;
    msg->write_bits(present ? 1u : 0u, 1);
    return present;
}

// The result of a write through a block cache as the class's write answers
// it: an overflow belongs to the message (the update writer takes the record
// back and sends it in the next one); any other failure fails the write.
inline int cache_write_result(int cache_result, const NetStreamOut* msg)
{
    return cache_result == 0 || msg->overflowed() ? 1 : 0;
}
