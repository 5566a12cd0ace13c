// Object update decoding: one message of 64 lights moving, as a server sends
// every frame, decoded into the light records.
#include "client/entity_records.h"
#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

// A message of n light records: positions (17-bit) and range, with the create bit when asked.
std::vector<uint8_t> light_message(int n, bool create, int32_t& bits)
{
    std::vector<uint8_t> bytes(8000);
    NetStreamOut s;
    s.attach(bytes.data(), static_cast<int32_t>(bytes.size()));
    s.write32(0);
    for (int i = 0; i < n; ++i) {
        s.write_bits(0, 1);
        s.write_bits(static_cast<uint32_t>(i), 8);
        s.write_bits(0, 4);
        s.write_bits(3, 4);
        s.write_bits(0, 1);
        for (int b = 0; b < 6; ++b) {
            s.write_bits(b < 3 ? 1 : 0, 1);
        }
        s.write_bits(create ? 1 : 0, 1);
        if (create) {
            for (const uint32_t bit : {0u, 0u, 0u, 0u, 1u, 0u, 0u}) {
                s.write_bits(bit, 1);
            }
        }
        for (int c = 0; c < 3; ++c) {
            s.write_bits(static_cast<uint32_t>(65536 + 8 * i + c), 17);
        }
        if (create) {
            s.write_bits(0, 1);
            s.write_bits(7, 8); // lamp reference: map lamp 7
            s.write_bits(0, 4);
            s.write_bits(1, 1);
        }
        s.write_bits(1, 1);
        s.write_bits(static_cast<uint32_t>(i & 255), 8);
        if (create) {
            s.write_bits(0, 1);
        }
    }
    bits = s.detach();
    bytes.resize(static_cast<size_t>((bits + 7) / 8));
    return bytes;
}

void decode(UpdateDecoder& d, std::vector<uint8_t>& message, int32_t bits, uint32_t stamp)
{
    std::memcpy(message.data(), &stamp, 4); // the stamp is the first 32 bits, least significant first
    NetStreamIn in;
    in.attach(message.data(), bits);
    benchmark::DoNotOptimize(d.net_update(in));
    in.detach();
}

void BM_DecodeMovingLights(benchmark::State& state)
{
    print_init();
    set_stream_handler(quiet, 0);
    ConfigVariableList variables;
    cvar_list = &variables;
    {
        UpdateDecoder decoder;
        LightRecords lights;
        lights.create(64);
        decoder.register_class(3, &lights);
        int32_t create_bits = 0;
        int32_t move_bits = 0;
        std::vector<uint8_t> create = light_message(64, true, create_bits);
        std::vector<uint8_t> move = light_message(64, false, move_bits);
        uint32_t stamp = 1;
        decode(decoder, create, create_bits, stamp);
        for (auto _ : state) {
            decode(decoder, move, move_bits, ++stamp);
        }
        state.SetItemsProcessed(state.iterations() * 64);
        state.counters["message_bytes"] = static_cast<double>(move.size());
        if (decoder.damaged_messages != 0) {
            state.SkipWithError("damaged");
        }
    }
    cvar_list = nullptr;
}
BENCHMARK(BM_DecodeMovingLights);

} // namespace

BENCHMARK_MAIN();
