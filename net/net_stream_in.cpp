#include "net/net_stream_in.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "net/line_limit.h"

#include <bit>
#include <cstring>

namespace {

// A peer's messages can end early one after another: the line is limited over all readers.
LineLimit end_lines("NetStreamIn", "Unexpected end-of-message", P_WARNING);

} // namespace

NetStreamIn::~NetStreamIn()
{
    K_ASSERT(!buffer && !length_);
}

void NetStreamIn::attach(const uint8_t* data, int32_t bits)
{
    K_ASSERT(!buffer);
    K_ASSERT(data);
    K_ASSERT(bits >= 0);
    buffer = data;
    bit = 0;
    length_ = bits;
    load();
}

void NetStreamIn::detach()
{
    K_ASSERT(buffer);
    length_ = 0;
    buffer = nullptr;
}

// Reports the end of the message once; later calls stay silent.
bool NetStreamIn::past_end(int32_t bits)
{
    if (bits <= length_) {
        return false;
    }
    if (length_ >= 0) {
        end_lines.print("NetStreamIn: Unexpected end-of-message");
        length_ = -1;
    }
    return true;
}

uint32_t NetStreamIn::read_bits(int bits)
{
    K_ASSERT(bits > 0 && bits <= 32);
    if (past_end(bits)) {
        return 0xFFFFFFFFu;
    }
    length_ -= bits;
    bits_read = wrap_add(bits_read, bits);
    uint64_t value = current >> bit;
    int taken = 8 - bit;
    while (taken < bits) {
        ++buffer;
        current = *buffer;
        value |= static_cast<uint64_t>(current) << taken;
        taken += 8;
    }
    bit = (bit + bits) & 7;
    if (bit == 0) {
        ++buffer;
        load();
    }
    return static_cast<uint32_t>(value & (0xFFFFFFFFu >> (32 - bits)));
}

float NetStreamIn::read_float()
{
    return std::bit_cast<float>(read32());
}

int NetStreamIn::read_string(char* text, int32_t max_bytes)
{
    K_ASSERT(max_bytes > 0);
    K_ASSERT(text);
    for (int32_t i = 0;; ++i) {
        const uint32_t c = read8();
        if (length_ < 0) {
            text[i] = '\0';
            return 2;
        }
        if (i == max_bytes - 1) {
            // No room left but for the terminator: drop the rest of the text.
            text[i] = '\0';
            if (c == 0) {
                return 0;
            }
            while (read8() != 0) {
                if (length_ < 0) {
                    return 2;
                }
            }
            return 1;
        }
        text[i] = static_cast<char>(c);
        if (c == 0) {
            return 0;
        }
    }
}

int NetStreamIn::read_data(void* data, int32_t bits)
{
    K_ASSERT(bits > 0);
    K_ASSERT(data);
    if (past_end(bits)) {
        return 2;
    }
    uint8_t* out = static_cast<uint8_t*>(data);
    const int32_t whole = bits / 8;
    if (bit == 0 && whole > 0) {
        std::memcpy(out, buffer, static_cast<size_t>(whole));
        buffer += whole;
        length_ -= whole * 8;
        bits_read = wrap_add(bits_read, whole * 8);
        load();
    } else {
        for (int32_t i = 0; i < whole; ++i) {
            out[i] = static_cast<uint8_t>(read8());
        }
    }
    const int tail = bits & 7;
    if (tail != 0) {
        out[whole] = static_cast<uint8_t>(read_bits(tail));
    }
    return 0;
}

int NetStreamIn::skip_bits(int32_t bits)
{
    K_ASSERT(bits >= 0);
    if (past_end(bits)) {
        return 2;
    }
    length_ -= bits;
    bits_read = wrap_add(bits_read, bits);
    const int64_t position = static_cast<int64_t>(bit) + bits;
    buffer += position / 8;
    bit = static_cast<int32_t>(position & 7);
    load();
    return 0;
}

int NetStreamIn::align()
{
    if (length_ < 0) {
        return 2;
    }
    if (bit == 0) {
        return 0;
    }
    K_ASSERT(bit >= 1 && bit < 8);
    const int32_t step = 8 - bit;
    bits_read = wrap_add(bits_read, step);
    length_ -= step;
    bit = 0;
    ++buffer;
    if (length_ < 0) {
        length_ = 0;
        end_lines.print("NetStreamIn: Unexpected end-of-message");
        return 2;
    }
    load();
    return 0;
}

int32_t NetStreamIn::take_bits_read()
{
    const int32_t n = bits_read;
    bits_read = 0;
    return n;
}
