#pragma once
// DirDriver serves a host directory (the current one for the empty name);
// its streams, DirFile, wrap host files.
#include "fsys/dir.h"
#include "fsys/file_stream.h"

#include <cstdio>

class DirDriver final : public FileDriver {
public:
    // The driver for a host directory, or null (silently) when the name is no directory.
    static FileDriver* mount(const char* name);

    FileStream* open(const char* name, int mode) override;
    void close(FileStream* stream) override;
    void list(FileList& list, const Dir& path, uint32_t mask) override;

    const Dir& directory() const { return directory_; }

private:
    DirDriver() = default;

    Dir directory_; // directory form, empty for the current directory
};

class DirFile final : public FileStream {
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
    int seek(int64_t offset, int whence) override;
    int64_t tell() override;
    int eof() override;
    int64_t size() override;

private:
    friend class DirDriver;
    DirFile(FileDriver* driver, std::FILE* file, int mode) : FileStream(driver), file_(file), mode_(mode) {}
    ~DirFile() override;
    void orphan() override;

    std::FILE* file_; // null once the driver is gone
    int mode_;
};
