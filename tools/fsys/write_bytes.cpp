#include "tools/fsys/write_bytes.h"

#include <cstdio>

namespace tools {

bool write_bytes(const char* path, const std::vector<uint8_t>& bytes)
{
    std::FILE* const f = std::fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    // An empty vector may have no data pointer, which fwrite must not get.
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace tools
