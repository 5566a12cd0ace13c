#pragma once
#include <cstdint>
#include <vector>

namespace tools {

// Writes the bytes as a whole host file; false on any failure.
bool write_bytes(const char* path, const std::vector<uint8_t>& bytes);

} // namespace tools
