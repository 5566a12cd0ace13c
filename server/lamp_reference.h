#pragma once
// How dynamic lights and lens flares name a lamp: on the wire a wide flag,
// an 8- or 16-bit index, the reuse count and a map-lamp flag.
#include <cstdint>

class NetStreamOut;

// Whether the identifier names a lamp of either class.
bool is_lamp_id(uint32_t id);
// OBJID_UNUSED travels as wide, index 65535, reuse count 15, not a map lamp.
void write_lamp_reference(NetStreamOut* msg, uint32_t lamp);
