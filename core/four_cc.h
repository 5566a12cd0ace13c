#pragma once
#include <cstdint>

// Four characters packed with the first one in the lowest byte, as tags,
// chunk identifiers and type ids are stored: four_cc("MapT") == 0x5470614D.
constexpr uint32_t four_cc(const char (&s)[5])
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}
