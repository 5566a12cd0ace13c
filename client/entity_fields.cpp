#include "client/entity_fields.h"

#include "client/cobj_manager.h"
#include "net/net_stream_in.h"

#include <cstring>

bool read_present(NetStreamIn& stream) { return stream.read_bits(1) == 1; }

float read_fraction(NetStreamIn& stream, int bits, float divisor)
{
    return static_cast<float>(stream.read_bits(bits)) / divisor;
}

uint32_t read_colour12(NetStreamIn& stream)
{
    uint32_t colour = 0;
    for (int i = 0; i < 3; ++i) {
        colour |= widen4(stream.read_bits(4) & 0xFu) << (8 * i);
    }
    return colour;
}

uint32_t read_colour6(NetStreamIn& stream, int channels)
{
    uint32_t colour = 0;
    for (int i = 0; i < channels; ++i) {
        colour |= widen6(stream.read_bits(6) & 0x3Fu) << (8 * i);
    }
    return colour;
}

uint32_t read_lamp_reference(NetStreamIn& stream)
{
    const uint32_t wide = stream.read_bits(1);
    const uint32_t index = stream.read_bits(wide != 0 ? 16 : 8) & OBJID_INDEXMASK;
    const uint32_t count = stream.read_bits(4) & 0xFu;
    const uint32_t map_lamp = stream.read_bits(1);
    return make_object_id(map_lamp == 1 ? 1u : 2u, count, index);
}
