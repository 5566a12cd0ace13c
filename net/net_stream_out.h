#pragma once
// Writes values of 1 to 32 bits, least significant bit first, into a
// caller's byte buffer with no gap between them. Never allocates.
#include <cstdint>

class NetStreamOut {
public:
    NetStreamOut() = default;
    ~NetStreamOut();
    NetStreamOut(const NetStreamOut&) = delete;
    NetStreamOut& operator=(const NetStreamOut&) = delete;

    void attach(uint8_t* buffer, int32_t bytes);
    // Bits written, or -1 when the stream overflowed. Detaches either way.
    int32_t detach();

    // Results: 0 success, 1 failure (overflow, or the stream is disabled).
    int write_bits(uint32_t value, int bits);
    int write8(uint32_t value) { return write_bits(value, 8); }
    int write16(uint32_t value) { return write_bits(value, 16); }
    int write32(uint32_t value) { return write_bits(value, 32); }
    int write_float(float value);
    // Whole bytes first, then the low bits % 8 bits of the next byte.
    int write_data(const void* data, int32_t bits);
    // The text and its terminating zero.
    int write_string(const char* text);
    int align();
    // Takes back everything written after the first `bits` bits (a count
    // from bits_written), an overflow included.
    void rewind(int32_t bits);

    bool attached() const { return buffer_head != nullptr; }
    bool overflowed() const { return buffer_head != nullptr && buffer == nullptr; }
    int32_t bits_written() const { return written_; }

private:
    uint8_t* buffer_head = nullptr;
    int32_t capacity_ = 0; // bits
    uint8_t* buffer = nullptr; // byte receiving the next bit; null after an overflow
    int32_t bit = 0;
    int32_t written_ = 0;

    int overflow();
};
