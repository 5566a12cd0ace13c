#pragma once
// Host files and directories, as far as the engine needs them.
#include <cstdint>

namespace host {

constexpr uint32_t FILE_TYPE_MASK = 0xF000;
constexpr uint32_t FILE_TYPE_DIRECTORY = 0x4000;
constexpr uint32_t FILE_TYPE_REGULAR = 0x8000;

struct FileStatus {
    uint32_t mode = 0; // file type bits as above
    int64_t size = 0;
    int64_t mtime = 0; // seconds since the epoch
};

// Status of a file by its name; false when it does not exist.
bool file_status(const char* name, FileStatus& status);
bool file_exists(const char* name);

} // namespace host
