#pragma once
// The host side of script I/O: callbacks that print to the engine's print
// streams, read files through the file system and write host files, over a
// small table of host files shared by the program.
#include <cstdint>

struct kcontext_t;

constexpr int KFILE_COUNT = 7;
constexpr int KFILE_FIRST_FILE = 3;

enum KFileType : int {
    KFILE_FREE = 0,
    KFILE_STDIN = 1,
    KFILE_STDOUT = 2,
    KFILE_STDERR = 3,
    KFILE_READ = 4,   // a stream of the file system
    KFILE_WRITE = 5,  // a host file opened for writing
};

// Installs the host callbacks, descriptor i on host entry i (descriptor 7 on
// an entry that is always free). 1, or 0 when the engine has no file system.
int install_host_io(kcontext_t* c);
// An entry among 3 to 6, or -1 when none is free or the file cannot be opened.
int host_open_file(const char* name, int mode);  // mode FSYS_BINARY or FSYS_TEXT
int host_create_file(const char* name, int binary);
// Closes entries 3 to 6; other entries are left alone.
void host_close_file(int entry);
KFileType host_file_type(int entry);
// The handle that descriptors carry for an entry (for installing a file into a descriptor).
void* host_file_handle(int entry);
