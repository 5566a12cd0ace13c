// Reads arbitrary messages with a program of reads taken from the input
// itself: widths, strings, data blocks, skips and aligns.
#include "core/print.h"
#include "net/net_ccache.h"
#include "net/net_stream_in.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool started = false;
    if (!started) {
        print_init();
        set_stream_handler(quiet, 0);
        started = true;
    }
    if (size < 2) {
        return 0;
    }
    // The first bytes steer the reads; the rest is the message, copied to
    // a block of its exact size so that any overrun shows.
    const size_t wanted = data[0] % 32u + 1u;
    const size_t steer = wanted < size ? wanted : size - 1;
    const uint8_t* program = data + 1;
    const size_t message_bytes = size - 1 - steer;
    std::vector<uint8_t> message(data + 1 + steer, data + size);
    const int32_t bits = message_bytes == 0 ? 0 : static_cast<int32_t>(message_bytes * 8 - (program[0] & 7));

    NetStreamIn in;
    in.attach(message.empty() ? program : message.data(), bits < 0 ? 0 : bits);
    for (int step = 0; step < 256 && in.length() >= 0 && !in.at_end(); ++step) {
        const uint8_t op = program[static_cast<size_t>(step) % steer];
        char text[16];
        uint8_t block[64];
        switch (op >> 5) {
        case 0:
        case 1:
            in.read_bits((op & 31) + 1);
            break;
        case 2:
            in.read_string(text, (op & 15) + 1);
            if (std::strlen(text) >= 16) {
                __builtin_trap();
            }
            break;
        case 3:
            in.read_data(block, (op & 31) * 16 + 1);
            break;
        case 4:
            in.skip_bits(op & 31);
            break;
        case 5:
            in.align();
            break;
        default: {
            NetCCache cache;
            cache.create(op & 1, 5, 8);
            char out[8];
            cache.read(&in, out, 3, (op & 1) ? 64 : 0);
            break;
        }
        }
    }
    in.detach();
    return 0;
}
