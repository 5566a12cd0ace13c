#pragma once
// Client side of a block cache: the same number of blocks as the server's,
// filled by the references it reads.
#include <cstdint>

class NetStreamIn;

class NetCCache {
public:
    NetCCache() = default;
    ~NetCCache();
    NetCCache(const NetCCache&) = delete;
    NetCCache& operator=(const NetCCache&) = delete;

    // 0, or 3 when memory runs out.
    int create(int binary, int32_t blocks, int32_t block_size);
    void clear();
    void set(int32_t index, const void* value);
    void get(int32_t index, void* destination) const;
    // Reads one reference and copies its block out: 0; 1 text cut at the
    // block size, 2 end of message, 5 wrong widths, 7 index out of range.
    // A failed read leaves every block as it was.
    int read(NetStreamIn* stream, void* destination, int ibits, int dbits);

private:
    uint8_t* data = nullptr; // blocks + 1 blocks; the last one receives data before it is accepted
    int32_t blocks = 0;
    int32_t block_size = 0;
    int binary = 0;
};
