#pragma once
// Field readers shared by the entity classes' updates: colours widened to a
// colour word (byte 0 the first channel), lamp references and names that
// arrive from the server.
#include <cstdint>

class NetStreamIn;

// Three 4-bit channels, each byte (c << 4) | c.
uint32_t read_colour12(NetStreamIn& stream);
// n 6-bit channels (3 or 4), each byte (c << 2) | (c >> 4).
uint32_t read_colour6(NetStreamIn& stream, int channels);
constexpr uint32_t widen4(uint32_t c) { return (c << 4) | c; }
constexpr uint32_t widen6(uint32_t c) { return (c << 2) | (c >> 4); }

// The object identifier a lamp reference names: a map lamp (class 1) or a
// dynamic lamp (class 2).
uint32_t read_lamp_reference(NetStreamIn& stream);

// A name the server may give for a file: not empty, no directory separators,
// no "..", no drive. Only such names are formed into paths.
bool is_plain_name(const char* name);
