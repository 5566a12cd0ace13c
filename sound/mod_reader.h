#pragma once
// ModReader: little-endian reads from a module file with one sticky failure:
// after a short read or a failed seek every read gives 0 and ok() is false.
// It counts the bytes it reads, so that packed data can be held to its length.
#include <cstddef>
#include <cstdint>

class FileStream;

class ModReader {
public:
    explicit ModReader(FileStream* stream);

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    bool bytes(void* destination, size_t count);
    bool skip(size_t count);
    bool seek(int64_t position);
    int64_t tell() const { return position_; }
    int64_t size() const { return size_; }
    bool ok() const { return ok_; }
    void fail() { ok_ = false; }

    // Bytes read since the last reset.
    int64_t counted() const { return counted_; }
    void reset_count() { counted_ = 0; }

private:
    FileStream* stream_;
    int64_t position_ = 0;
    int64_t size_ = 0;
    int64_t counted_ = 0;
    bool ok_ = true;
};

// The first `need` bytes of the file: from `head` when it holds them, else
// read from the start of the file. The bytes got; the rest of out is zero.
int32_t mod_file_head(FileStream* stream, const uint8_t* head, int32_t count, uint8_t* out, int32_t need);

// Copies a name field into a NUL-terminated text of at most `size` bytes.
void mod_copy_name(char* out, size_t size, const uint8_t* field, size_t length);

// Cuts a sample to the data the file holds and keeps its loops inside it;
// a sample whose data starts past the end of the file has none.
void mod_sample_fit(struct ModSample& s, int64_t file_size);
