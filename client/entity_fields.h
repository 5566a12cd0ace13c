#pragma once
// Field readers shared by the entity classes' updates: presence flags, scaled
// fractions, colours widened to a colour word (byte 0 the first channel),
// lamp references and names that arrive from the server.
#include "fsys/plain_name.h"

#include <cstdint>

class NetStreamIn;

// A 1-bit presence flag: whether the group follows.
bool read_present(NetStreamIn& stream);
// An unsigned field of `bits` bits divided by `divisor`.
float read_fraction(NetStreamIn& stream, int bits, float divisor);

// Three 4-bit channels, each byte (c << 4) | c.
uint32_t read_colour12(NetStreamIn& stream);
// n 6-bit channels (3 or 4), each byte (c << 2) | (c >> 4).
uint32_t read_colour6(NetStreamIn& stream, int channels);
constexpr uint32_t widen4(uint32_t c) { return (c << 4) | c; }
constexpr uint32_t widen6(uint32_t c) { return (c << 2) | (c >> 4); }

// The object identifier a lamp reference names: a map lamp (class 1) or a
// dynamic lamp (class 2).
uint32_t read_lamp_reference(NetStreamIn& stream);
// Whether a lamp reference names no lamp: the server's reference of an
// object without one (every index and count bit set).
constexpr bool names_no_lamp(uint32_t id) { return (id & 0xFFFFFu) == 0xFFFFFu; }
