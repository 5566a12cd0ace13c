#pragma once
// Bits least significant first out of a message of a known length, with
// bounds checks: a read past the end fails and every later one does too.
#include <cstdint>
#include <cstring>
#include <string>

namespace fake_client {

class BitReader {
public:
    BitReader(const uint8_t* data, int32_t bits) : data_(data), bits_(bits) {}

    bool take(int n, uint32_t& value)
    {
        if (failed_ || n < 0 || n > 32 || n > bits_ - at_) {
            failed_ = true;
            return false;
        }
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const int32_t b = at_ + i;
            v |= static_cast<uint64_t>((data_[b >> 3] >> (b & 7)) & 1) << i;
        }
        at_ += n;
        value = static_cast<uint32_t>(v);
        return true;
    }
    uint32_t get(int n)
    {
        uint32_t v = 0;
        take(n, v);
        return v;
    }
    bool flag() { return get(1) == 1; }
    float get_float()
    {
        const uint32_t bits = get(32);
        float f = 0.0f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Bytes up to and including a zero; a text of more than `max` bytes fails.
    std::string get_string(size_t max)
    {
        std::string s;
        for (;;) {
            const uint32_t c = get(8);
            if (failed_ || c == 0) {
                return s;
            }
            if (s.size() >= max) {
                failed_ = true;
                return s;
            }
            s.push_back(static_cast<char>(c));
        }
    }
    bool failed() const { return failed_; }
    int32_t left() const { return bits_ - at_; }
    int32_t at() const { return at_; }

private:
    const uint8_t* data_;
    int32_t bits_;
    int32_t at_ = 0;
    bool failed_ = false;
};

} // namespace fake_client
