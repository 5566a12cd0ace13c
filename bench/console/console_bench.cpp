// Command buffer throughput: how many typical command lines one exec_buffer
// call gets through, and what one printed message costs the console.
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/print.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void discard(int, const char*, uintptr_t) {}

struct Scope {
    Scope()
    {
        cvar_list = &variables;
        set_stream_handler(discard, 0);
        (void)cmd.register_builtins();
        cmd.set_permissions(0, 0, 0x200, 0, 0x230);
        (void)cmd.add_text("Define bump (Cv_Add RegI0 RegI1)");
        cmd.exec_buffer();
    }
    ~Scope() { set_stream_handler(default_print_handler, 0); }
    ConfigVariableList variables;
    ConsCmd cmd;
};

void BM_ExecBuffer(benchmark::State& state)
{
    Scope s;
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text += "Set RegI1 3; bump; Cv_Clip RegI0 0 1000 // comment\n";
    }
    for (auto _ : state) {
        (void)s.cmd.add_text(text.c_str());
        s.cmd.exec_buffer();
    }
    // Four commands a line.
    state.SetItemsProcessed(state.iterations() * 400);
}
BENCHMARK(BM_ExecBuffer);

void BM_ConsolePrint(benchmark::State& state)
{
    ConfigVariableList variables;
    cvar_list = &variables;
    ConsCmd cmd;
    Console console;
    (void)console.init(nullptr, &cmd);
    int i = 0;
    for (auto _ : state) {
        print_format(P_MESSAGE, "message %d with a little text after it", ++i);
    }
    console.release_print();
    cvar_list = nullptr;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConsolePrint);

} // namespace

BENCHMARK_MAIN();
