// A sequence of values, strings, data blocks and aligns taken from the input,
// written with the bit-stream writer and read back with the reader: every
// item comes back as written, the message ends where the writer stopped, and
// the bits above the end of the last byte are zero.
#include "core/print.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

enum Kind : uint8_t { BITS, STRING, DATA, ALIGN };

struct Item {
    Kind kind = BITS;
    int bits = 0;
    uint32_t value = 0;
    std::string text;
    std::vector<uint8_t> data;
};

// Items from the input: a control byte each, then what the item needs.
std::vector<Item> items_of(const uint8_t* p, const uint8_t* end)
{
    std::vector<Item> items;
    while (p < end && items.size() < 200) {
        const uint8_t op = *p++;
        Item it;
        it.kind = static_cast<Kind>(op >> 6);
        switch (it.kind) {
        case BITS:
            it.bits = (op & 31) + 1;
            for (int i = 0; i < 4 && p < end; ++i) {
                it.value |= static_cast<uint32_t>(*p++) << (8 * i);
            }
            if (it.bits < 32) {
                it.value &= (1u << it.bits) - 1;
            }
            break;
        case STRING:
            for (int i = 0; i < (op & 15) && p < end; ++i, ++p) {
                it.text += static_cast<char>(*p != 0 ? *p : 'z');
            }
            break;
        case DATA: {
            it.bits = (op & 63) + 1;
            it.data.assign(static_cast<size_t>((it.bits + 7) / 8), 0);
            for (uint8_t& b : it.data) {
                b = p < end ? *p++ : 0;
            }
            if (it.bits % 8 != 0) {
                it.data.back() &= static_cast<uint8_t>((1u << (it.bits % 8)) - 1);
            }
            break;
        }
        case ALIGN:
            break;
        }
        items.push_back(std::move(it));
    }
    return items;
}

int write(NetStreamOut& out, const Item& it)
{
    switch (it.kind) {
    case BITS:
        return out.write_bits(it.value, it.bits);
    case STRING:
        return out.write_string(it.text.c_str());
    case DATA:
        return out.write_data(it.data.data(), it.bits);
    case ALIGN:
        return out.align();
    }
    return 1;
}

bool read_back(NetStreamIn& in, const Item& it)
{
    switch (it.kind) {
    case BITS:
        return in.read_bits(it.bits) == it.value && in.length() >= 0;
    case STRING: {
        char text[16];
        return in.read_string(text, sizeof text) == 0 && it.text == text;
    }
    case DATA: {
        std::vector<uint8_t> data(it.data.size(), 0xA5);
        if (in.read_data(data.data(), it.bits) != 0) {
            return false;
        }
        if (it.bits % 8 != 0) {
            data.back() &= static_cast<uint8_t>((1u << (it.bits % 8)) - 1);
        }
        return data == it.data;
    }
    case ALIGN:
        return in.align() == 0;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool started = false;
    if (!started) {
        print_init();
        set_stream_handler(quiet, 0);
        started = true;
    }
    if (size < 1) {
        return 0;
    }
    // The first byte sizes the buffer, so that some sequences overflow it.
    const int32_t capacity = 1 + data[0] * 2;
    const std::vector<Item> items = items_of(data + 1, data + size);
    std::vector<uint8_t> buffer(static_cast<size_t>(capacity), 0xEE);
    NetStreamOut out;
    out.attach(buffer.data(), capacity);
    size_t written = 0;
    while (written < items.size() && write(out, items[written]) == 0) {
        ++written;
    }
    const int32_t bits = out.detach();
    if (written < items.size()) {
        // Only an overflow stops the writer, and then for good.
        if (bits != -1) {
            __builtin_trap();
        }
        return 0;
    }
    if (bits < 0 || bits > capacity * 8) {
        __builtin_trap();
    }
    if (bits % 8 != 0 && (buffer[static_cast<size_t>(bits / 8)] >> (bits % 8)) != 0) {
        __builtin_trap();
    }
    NetStreamIn in;
    in.attach(buffer.data(), bits);
    for (const Item& it : items) {
        if (!read_back(in, it)) {
            __builtin_trap();
        }
    }
    if (!in.at_end()) {
        __builtin_trap();
    }
    in.detach();
    return 0;
}
