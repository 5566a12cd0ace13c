#pragma once
// FileStream: one open file of the file system; FileDriver: what serves a
// mount (a host directory or an archive) and hands out its streams.
// A stream is given back with close(), never deleted by its user. A stream
// that outlives its driver (the file system closed under it) reads as at its
// end and frees itself on close().
#include <cstddef>
#include <cstdint>

class Dir;
class FileList;
class FileDriver;

constexpr int FSYS_BINARY = 1;
constexpr int FSYS_TEXT = 2; // drops carriage returns before line ends

constexpr int FSYS_SEEK_SET = 0;
constexpr int FSYS_SEEK_CUR = 1;
constexpr int FSYS_SEEK_END = 2;

// Listing mask bits.
constexpr uint32_t FSYS_LIST_FILES = 0x1;
constexpr uint32_t FSYS_LIST_DIRS = 0x2;
constexpr uint32_t FSYS_LIST_DUPLICATES = 0x4; // keep a file name already listed by an earlier mount

class FileStream {
public:
    explicit FileStream(FileDriver* driver) : driver_(driver) {}
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Skips white space, then stores the next word (at most size-1 characters
    // and a NUL); null at the end of the file.
    virtual char* read_word(char* buffer, int size) = 0;
    // Stores up to and including the next '\n' (at most size-1 characters and
    // a NUL); null when nothing could be read.
    virtual char* read_line(char* buffer, int size) = 0;
    virtual void unget(int c) = 0;
    // The next byte (0-255), -1 at the end.
    virtual int get_char() = 0;
    virtual int32_t read_le16() = 0;
    virtual int32_t read_le32() = 0;
    virtual int32_t read_be16() = 0;
    virtual int32_t read_be32() = 0;
    // Reads whole items; the number read.
    virtual size_t read(void* buffer, size_t item_size, size_t count) = 0;
    // whence FSYS_SEEK_*; 0 on success.
    virtual int seek(int64_t offset, int whence) = 0;
    virtual int64_t tell() = 0;
    virtual int eof() = 0;
    virtual int64_t size() = 0;
    // Gives the stream back to its driver, which frees it.
    virtual void close();

    FileDriver* driver() const { return driver_; }

protected:
    virtual ~FileStream() = default;
    friend class FileDriver;
    // The driver goes before the stream: let go of what the driver shared.
    virtual void orphan() = 0;

    // read_word and read_line over get_char and unget; `white` tells the
    // characters that separate words.
    char* scan_word(char* buffer, int size, bool (*white)(int c));
    char* scan_line(char* buffer, int size);

    FileDriver* driver_;

private:
    FileStream* prev_ = nullptr; // the driver's open streams
    FileStream* next_ = nullptr;
};

class FileDriver {
public:
    FileDriver() = default;
    virtual ~FileDriver();
    FileDriver(const FileDriver&) = delete;
    FileDriver& operator=(const FileDriver&) = delete;

    // A new stream, or null when the driver does not have the file.
    virtual FileStream* open(const char* name, int mode) = 0;
    // Takes back and frees a stream that this driver opened.
    virtual void close(FileStream* stream) = 0;
    // Adds the entries of directory `path` (directory form) to the list;
    // mask FSYS_LIST_* bits.
    virtual void list(FileList& list, const Dir& path, uint32_t mask) = 0;

    int32_t open_files() const { return open_files_; }

protected:
    // Counts a new stream as open; returns it.
    FileStream* adopt(FileStream* stream);
    // Uncounts and frees a stream.
    void free_stream(FileStream* stream);
    // Add a node unless the list already holds one of that name and kind
    // (files of the same name are kept with FSYS_LIST_DUPLICATES).
    void add_file(FileList& list, const char* name, uint32_t size, uint32_t flags, uint32_t mask);
    static void add_directory(FileList& list, const char* name);

    int32_t open_files_ = 0;

private:
    FileStream* streams_ = nullptr;
};
