#pragma once
// FSys: the engine's one file system. Every file the engine reads is opened
// by a relative name through the mounts, highest priority first: the current
// directory, the base directories with their "MUF2" archives, extra sources.
// Files are written to the host directly (fsys/stdio2.h), never through FSys.
//
// Reading a file by relative name:
//
//     FileStream* const f = fsys->open("maps/e1/info.txt", FSYS_TEXT);
//     if (f == nullptr) { print_format(P_ERROR, "Mine: Can't find '%s'", name); return 0; }
//     char line[1024];
//     while (f->read_line(line, sizeof line) != nullptr) { ... }
//     f->close(); // never delete a stream
//
// Binary files: f->read(buffer, 1, n), f->read_le32(), f->seek(pos, FSYS_SEEK_SET);
// chunked files through ChunkReader (fsys/chunk_reader.h).
#include "fsys/file_list.h"
#include "fsys/file_stream.h"

#include <cstdint>

class FSys {
public:
    FSys() = default;
    ~FSys();
    FSys(const FSys&) = delete;
    FSys& operator=(const FSys&) = delete;

    // Drops every mount; returns 1.
    int init();
    // Mounts an archive or a directory (the empty name is the current one);
    // sid is non-zero; a larger priority is asked first. 1 when a driver took it.
    int mount(const char* name, uint32_t sid, int32_t priority);
    // The stream of the first mount that has the file, or null; mode FSYS_BINARY or FSYS_TEXT.
    FileStream* open(const char* name, int mode);
    // A new list (the caller deletes it) of the directory's entries over every
    // mount; mask FSYS_LIST_* bits. Null only when out of memory.
    FileList* list(const char* directory, uint32_t mask);
    // Removes the mounts whose sid shares a bit with the mask and that have no
    // open files; the number removed.
    int unmount(uint32_t mask);
    void close();

    struct Mount {
        Mount* next = nullptr;
        FileDriver* driver = nullptr; // owned
        uint32_t sid = 0;
        int32_t priority = 0;
    };
    const Mount* first() const { return first_; }

private:
    Mount* first_ = nullptr;
};

// The engine's file system; null until the engine creates it.
extern FSys* fsys;
