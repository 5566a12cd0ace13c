#pragma once
// Server side of a block cache: sends a small value (a text or a fixed
// number of bits) to each client once, and afterwards only its index.
#include <cstdint>

class NetStreamOut;

class NetSCache {
public:
    struct Block {
        int32_t next = -1;        // next block in recency order, -1 after the last
        uint8_t* data = nullptr;  // null until the block is first used
        int32_t* stamp = nullptr; // per client: -1, or the tick of the first reference
    };

    NetSCache() = default;
    ~NetSCache();
    NetSCache(const NetSCache&) = delete;
    NetSCache& operator=(const NetSCache&) = delete;

    // 0, or 3 when memory runs out.
    int create(int32_t blocks, int32_t clients, int32_t block_length, int binary);
    void clear();
    // Forgets what one client was sent: 0, or 4 when not created.
    int reset_client(int32_t client);
    // Finds or assigns the block of a value: 0, 4 when not created, 5 for
    // a text too long for a block.
    int match(int32_t client, int32_t tick, int32_t ctick, const void* value, int* data_needed, int32_t* index);
    // Writes one reference: 0, 5 when the widths are wrong, the result of
    // match when it fails, 1 when the stream fails.
    int write(int32_t client, int32_t tick, int32_t ctick, const void* value, NetStreamOut* stream, int ibits,
              int dbits);

    int32_t block_count() const { return blocks; }

private:
    bool holds(const Block& b, const void* value) const;
    void move_to_head(int32_t index, int32_t previous);

    Block* block = nullptr;
    uint8_t* data_area = nullptr;
    int32_t* stamp_area = nullptr;
    int32_t blocks = 0;
    int32_t block_length = 0;
    int32_t clients = 0;
    int binary = 0;
    int32_t head = -1;
};
