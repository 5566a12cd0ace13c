#pragma once
// Byte order of data stored little-endian, and unaligned little-endian access.
#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the engine's files are read on a little-endian host");

constexpr uint32_t host_le32(uint32_t v) { return v; }
constexpr float host_le_float(float v) { return v; }
constexpr uint32_t swap16(uint32_t v) { return ((v & 0xFFu) << 8) | ((v >> 8) & 0xFFu); }
constexpr uint32_t swap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
inline float swap_float(float v) { return std::bit_cast<float>(swap32(std::bit_cast<uint32_t>(v))); }

inline uint16_t read_le16(const void* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline uint32_t read_le32(const void* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline float read_le_float(const void* p) { float v; std::memcpy(&v, p, 4); return v; }
inline void write_le16(void* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void write_le32(void* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void write_le_float(void* p, float v) { std::memcpy(p, &v, 4); }
