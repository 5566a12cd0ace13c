#pragma once
// ArchiveDriver serves the members of an archive file: a directory of names
// with their offsets and sizes, read once at mount, and one host file shared
// by all open members (each member stream keeps its own offsets and puts the
// shared file where it needs it before every read). ArchiveMuf reads the
// "MUF2" format into it.
#include "fsys/dir.h"
#include "fsys/file_stream.h"

#include <cstdio>
#include <string>
#include <vector>

class ArchiveFile;

struct ArchiveEntry {
    std::string name; // Dir file form
    uint64_t offset = 0; // of the first byte, from the start of the archive
    uint64_t size = 0;
};

class ArchiveDriver : public FileDriver {
public:
    ~ArchiveDriver() override;

    FileStream* open(const char* name, int mode) override;
    void close(FileStream* stream) override;
    void list(FileList& list, const Dir& path, uint32_t mask) override;

    const Dir& path() const { return path_; }
    int32_t entry_count() const { return static_cast<int32_t>(entries_.size()); }
    const ArchiveEntry& entry(int32_t i) const { return entries_[static_cast<size_t>(i)]; }
    bool host_file_open() const { return file_ != nullptr; }

protected:
    ArchiveDriver() = default;
    // Sorts the name index once the directory is complete.
    void build_index();

    Dir path_;              // file form
    std::string host_path_; // the archive's own host name, for reopening
    std::vector<ArchiveEntry> entries_;

private:
    friend class ArchiveFile;
    // Makes the stream the user of the shared host file, positioned at its
    // offset; false when the archive cannot be opened again.
    bool activate(ArchiveFile* stream);
    void release_host_file();

    std::FILE* file_ = nullptr;
    ArchiveFile* last_user_ = nullptr;
    std::vector<uint32_t> index_; // entries by name, equal names in directory order
};

class ArchiveMuf final : public ArchiveDriver {
public:
    // The driver for a "MUF2" archive; null without a message when the name
    // is no such file, null with a message when the archive is damaged.
    static FileDriver* mount(const char* name);

private:
    ArchiveMuf() = default;
    bool read_directory(std::FILE* file, const char* name);
};

class ArchiveFile final : public FileStream {
public:
    char* read_word(char* buffer, int size) override;
    char* read_line(char* buffer, int size) override;
    void unget(int c) override;
    int get_char() override;
    int32_t read_le16() override;
    int32_t read_le32() override;
    int32_t read_be16() override;
    int32_t read_be32() override;
    size_t read(void* buffer, size_t item_size, size_t count) override;
    // Positions past the member's end are taken, as a host file takes them,
    // and read as its end. Positions before its start, or out of any file's
    // reach, are refused (-1) and leave it where it was.
    int seek(int64_t offset, int whence) override;
    int64_t tell() override;
    int eof() override;
    int64_t size() override;

private:
    friend class ArchiveDriver;
    ArchiveFile(ArchiveDriver* driver, int mode, const ArchiveEntry& entry);
    void orphan() override;

    // Reads `count` raw bytes; false (nothing consumed) when fewer remain.
    bool raw(unsigned char* out, uint64_t count);
    int32_t read_fixed(int count, bool little);

    ArchiveDriver* archive_; // null once the driver is gone
    int mode_;
    uint64_t cur_;   // absolute offsets in the archive file
    uint64_t start_;
    uint64_t end_;
    int pushed_ = -1;
};
