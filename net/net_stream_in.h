#pragma once
// Reads values of 1 to 32 bits, least significant bit first, out of a
// message of a given length in bits. Never touches a byte beyond the message.
#include <cstdint>

class NetStreamIn {
public:
    NetStreamIn() = default;
    ~NetStreamIn();
    NetStreamIn(const NetStreamIn&) = delete;
    NetStreamIn& operator=(const NetStreamIn&) = delete;

    void attach(const uint8_t* buffer, int32_t bits);
    void detach();

    // The value zero-extended, or 0xFFFFFFFF past the end of the message
    // (then length() is -1, which tells it from a 32-bit value of all ones).
    uint32_t read_bits(int bits);
    uint32_t read8() { return read_bits(8); }
    uint32_t read16() { return read_bits(16); }
    uint32_t read32() { return read_bits(32); }
    float read_float();
    // 0 read whole; 1 cut at max_bytes (the rest of the text is skipped);
    // 2 the message ended first. The buffer always ends with a terminator.
    int read_string(char* text, int32_t max_bytes);
    // 0, or 2 at the end of the message (nothing is stored then).
    int read_data(void* data, int32_t bits);
    int skip_bits(int32_t bits);
    int align();

    bool at_end() const { return length_ == 0; }
    bool attached() const { return buffer != nullptr; }
    // Bits not yet read; -1 after a read past the end.
    int32_t length() const { return length_; }
    int32_t take_bits_read();

private:
    const uint8_t* buffer = nullptr;
    int32_t bit = 0;
    int32_t length_ = 0;
    uint32_t current = 0;
    int32_t bits_read = 0;

    bool past_end(int32_t bits);
    void load() { current = length_ >= 1 ? *buffer : 0; }
};
