// Bit streams: values per second for each width. Loopback: messages and
// bytes per second for small and largest messages, beside memcpy of the
// same bytes.
#include "core/config_variable.h"
#include "core/print.h"
#include "net/hive.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int VALUES = 4096;

void quiet(int, const char*, uintptr_t) {}

void BM_write_bits(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    std::vector<uint8_t> buffer(VALUES * 4 + 8);
    for (auto _ : state) {
        NetStreamOut out;
        out.attach(buffer.data(), static_cast<int32_t>(buffer.size()));
        for (uint32_t i = 0; i < VALUES; ++i) {
            out.write_bits((i * 2654435761u) & mask, width);
        }
        benchmark::DoNotOptimize(out.detach());
    }
    state.SetItemsProcessed(state.iterations() * VALUES);
}

void BM_read_bits(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    std::vector<uint8_t> buffer(VALUES * 4 + 8, 0x5A);
    for (auto _ : state) {
        NetStreamIn in;
        in.attach(buffer.data(), VALUES * width);
        uint32_t sum = 0;
        for (int i = 0; i < VALUES; ++i) {
            sum += in.read_bits(width);
        }
        in.detach();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * VALUES);
}

// One loopback connection for the whole run.
struct Loopback {
    ConfigVariableList variables;
    Hive hive;
    NetSocket* client = nullptr;
    NetSocket* server = nullptr;

    Loopback()
    {
        print_init();
        set_stream_handler(quiet, 0);
        cvar_list = &variables;
        hive.init();
        char request[8];
        int32_t length = sizeof request;
        hive.connect(&client, "local", "bench", 5);
        server = hive.accept(request, &length);
        hive.connect(&client, "local", "bench", 5);
    }
    ~Loopback()
    {
        hive.close_socket(client);
        hive.close_socket(server);
        hive.shutdown();
    }
};

void BM_loopback(benchmark::State& state)
{
    static Loopback link;
    const int32_t bytes = static_cast<int32_t>(state.range(0));
    std::vector<uint8_t> payload(static_cast<size_t>(bytes), 0x33);
    std::vector<uint8_t> back(static_cast<size_t>(bytes));
    for (auto _ : state) {
        NetStreamOut out;
        link.client->message_begin(&out, 1, NET_STREAM_RELIABLE);
        out.write_data(payload.data(), bytes * 8);
        link.client->message_end(&out);
        link.client->message_send();
        NetStreamIn in;
        int id = 0;
        if (link.server->read(&in, &id, nullptr) == 0) {
            in.read_data(back.data(), bytes * 8);
            in.detach();
        }
        benchmark::DoNotOptimize(back.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * bytes);
}

// The same bytes copied twice (in and out), as the loopback moves them.
void BM_memcpy(benchmark::State& state)
{
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> payload(bytes, 0x33);
    std::vector<uint8_t> middle(bytes + 8);
    std::vector<uint8_t> back(bytes);
    for (auto _ : state) {
        std::memcpy(middle.data() + 8, payload.data(), bytes);
        benchmark::ClobberMemory();
        std::memcpy(back.data(), middle.data() + 8, bytes);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

} // namespace

BENCHMARK(BM_write_bits)->DenseRange(1, 32);
BENCHMARK(BM_read_bits)->DenseRange(1, 32);
BENCHMARK(BM_loopback)->Arg(64)->Arg(8000);
BENCHMARK(BM_memcpy)->Arg(64)->Arg(8000);
BENCHMARK_MAIN();
