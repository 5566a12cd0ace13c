#pragma once
// One datagram being built, sent or received. Outgoing buffers hold the
// whole datagram, header included; incoming ones the payload of one
// received reliable datagram.
#include <cstdint>

// Outgoing states.
constexpr int NET_DGBOS_ACKED = 1;     // free
constexpr int NET_DGBOS_PREPARED = 2;  // being filled; header written, length still 0
constexpr int NET_DGBOS_FINISHED = 3;  // length written; sent until acknowledged
// Incoming states.
constexpr int NET_DGBS_INCOMING = 0xF0;
constexpr int NET_DGBIS_EMPTY = 0x10;
constexpr int NET_DGBIS_READY = 0x20;

class DatagramBuffer {
public:
    DatagramBuffer() = default;
    ~DatagramBuffer() { release(); }
    DatagramBuffer(const DatagramBuffer&) = delete;
    DatagramBuffer& operator=(const DatagramBuffer&) = delete;

    // 0, or 3 when memory is short.
    int allocate(int32_t bytes, bool incoming);
    // The capacity and the free state without the bytes, which ensure_data
    // allocates when the buffer is first used.
    void reserve(int32_t bytes, bool incoming);
    // 0, or 3 when memory is short.
    int ensure_data();
    void release();
    bool allocated() const { return data != nullptr; }

    // Outgoing.
    void prepare(uint32_t header_id);
    int32_t free_bytes() const { return capacity - fill; }
    void append(const uint8_t* bytes, int32_t count);
    void finish();
    void acknowledge() { state = NET_DGBOS_ACKED; }

    // Incoming: 0 stored (or the same length again), 7 a duplicate of another
    // length (the caller writes "Damaged reliable datagram").
    int store(uint32_t header_id, const uint8_t* payload, int32_t count);
    void empty();

    uint32_t id = 0;
    int32_t capacity = 0;
    uint8_t* data = nullptr;
    int32_t fill = 0;
    int state = 0;
    double time = 0.0; // outgoing: when it is (re)sent next, engine seconds
    bool sent = false; // outgoing: sent at least once since it was prepared
};
