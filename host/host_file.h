#pragma once
// Host files and directories, as far as the engine needs them.
//
// Engine names may use '\' or '/' as separators and may differ in letter case
// from the names on disk (the engine lower-cases its names). Every function
// here resolves a name component by component: a component that exists as
// written is taken, otherwise the directory is searched for one that differs
// only in the case of A-Z. Directory contents are cached; the cache notices
// changes through the directory's modification time.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace host {

constexpr uint32_t FILE_TYPE_MASK = 0xF000;
constexpr uint32_t FILE_TYPE_DIRECTORY = 0x4000;
constexpr uint32_t FILE_TYPE_REGULAR = 0x8000;

struct FileStatus {
    uint32_t mode = 0; // file type bits as above
    int64_t size = 0;
    int64_t mtime = 0; // seconds since the epoch
};

// Status of a file by its name; false when it does not exist. The empty name
// is the current directory.
bool file_status(const char* name, FileStatus& status);
bool file_exists(const char* name);

// The host path of an existing file or directory; false when there is none.
bool resolve_path(const char* name, std::string& path);

enum class FileMode {
    READ,  // an existing file, binary
    WRITE, // created or truncated, binary; the directories must exist
};

// Opens a host file; null when it cannot be opened. A file created for
// writing keeps the case of its last name component unless a file that
// differs only in case is already there.
std::FILE* open_file(const char* name, FileMode mode);

// Creates one directory (its parent must exist); true when it exists afterwards.
bool make_directory(const char* name);

struct DirEntry {
    std::string name; // the host's full name
    bool directory = false;
    uint64_t size = 0;
};

// The entries of a directory, without "." and "..", in the host's order;
// false when the directory cannot be read.
bool list_directory(const char* name, std::vector<DirEntry>& entries);

// Drops every cached directory, so that the next lookups read the disk.
void forget_resolved_names();

} // namespace host
