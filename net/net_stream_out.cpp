#include "net/net_stream_out.h"

#include "core/kassert.h"
#include "core/print.h"

#include <bit>
#include <cstring>

NetStreamOut::~NetStreamOut()
{
    K_ASSERT(buffer_head == nullptr);
}

void NetStreamOut::attach(uint8_t* data, int32_t bytes)
{
    K_ASSERT(!buffer_head && !buffer);
    K_ASSERT(data);
    K_ASSERT(bytes >= 0 && bytes <= INT32_MAX / 8);
    buffer_head = data;
    buffer = data;
    capacity_ = bytes * 8;
    bit = 0;
    written_ = 0;
    if (bytes > 0) {
        data[0] = 0;
    }
}

int32_t NetStreamOut::detach()
{
    K_ASSERT(buffer_head);
    const int32_t result = buffer == nullptr ? -1 : written_;
    buffer_head = nullptr;
    buffer = nullptr;
    return result;
}

int NetStreamOut::overflow()
{
    print_string(P_DEBUG, "NetStreamOut: overflow");
    buffer = nullptr;
    return 1;
}

int NetStreamOut::write_bits(uint32_t value, int bits)
{
    K_ASSERT(bits > 0 && bits <= 32);
    K_ASSERT(bits == 32 || !(value & (~0u << bits)));
    if (buffer == nullptr) {
        return 1;
    }
    if (static_cast<int64_t>(written_) + bits > capacity_) {
        return overflow();
    }
    if (bit == 0) {
        *buffer = static_cast<uint8_t>(value);
    } else {
        *buffer = static_cast<uint8_t>(*buffer | (value << bit));
    }
    const int k = 8 - bit;
    bit = (bit + bits) & 7;
    written_ += bits;
    if (bits >= k) {
        // k can be 8, so shift in 64 bits.
        uint64_t rest = static_cast<uint64_t>(value) >> k;
        for (int left = bits - k; left > 0; left -= 8) {
            ++buffer;
            *buffer = static_cast<uint8_t>(rest);
            rest >>= 8;
        }
        if (bit == 0) {
            ++buffer;
        }
    }
    return 0;
}

int NetStreamOut::write_float(float value)
{
    return write32(std::bit_cast<uint32_t>(value));
}

int NetStreamOut::write_data(const void* data, int32_t bits)
{
    K_ASSERT(bits > 0);
    K_ASSERT(data);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    const int32_t whole = bits / 8;
    if (buffer != nullptr && bit == 0 && static_cast<int64_t>(written_) + bits <= capacity_) {
        // Byte-aligned: the same bytes as writing them one by one.
        std::memcpy(buffer, bytes, static_cast<size_t>(whole));
        buffer += whole;
        written_ += whole * 8;
    } else {
        for (int32_t i = 0; i < whole; ++i) {
            const int r = write8(bytes[i]);
            if (r != 0) {
                return r;
            }
        }
    }
    const int tail = bits & 7;
    if (tail == 0) {
        return 0;
    }
    // Only the low bits of the last byte travel; the rest of it is ignored.
    return write_bits(bytes[whole] & ((1u << tail) - 1), tail);
}

int NetStreamOut::write_string(const char* text)
{
    K_ASSERT(text);
    const size_t length = std::strlen(text);
    K_ASSERT(length < static_cast<size_t>(INT32_MAX / 8));
    return write_data(text, static_cast<int32_t>(length + 1) * 8);
}

int NetStreamOut::align()
{
    if (buffer == nullptr) {
        return 1;
    }
    if (bit == 0) {
        return 0;
    }
    K_ASSERT(bit >= 1 && bit <= 8);
    written_ += 8 - bit;
    bit = 0;
    ++buffer;
    if (written_ > capacity_) {
        return overflow();
    }
    if (written_ < capacity_) {
        *buffer = 0;
    }
    return 0;
}

void NetStreamOut::rewind(int32_t bits)
{
    K_ASSERT(buffer_head);
    K_ASSERT(bits >= 0 && bits <= written_);
    written_ = bits;
    buffer = buffer_head + bits / 8;
    bit = bits & 7;
    if (bit != 0) {
        *buffer = static_cast<uint8_t>(*buffer & ((1u << bit) - 1));
    }
}
