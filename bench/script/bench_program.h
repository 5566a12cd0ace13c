#pragma once
// The script programs the benchmarks run, assembled once, and a context with
// them linked in. Instruction counts follow the program text.
#include <cstdint>

#include "script/kcontext.h"

// Context with the programs linked and the run-time allocated; null on failure
// (reported on stderr). The native `tick` adds its argument to *tick_sum.
kcontext_t* bench_context(kinit_t init, uint32_t* tick_sum);

// Instructions that sum(n) and fib(n) run.
uint64_t sum_instructions(uint64_t n);
uint64_t fib_instructions(uint32_t n);
