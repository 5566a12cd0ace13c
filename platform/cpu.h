#pragma once
#include <cstdint>

// Writes p AND 3 into the x87 precision control (0 single, 2 double, 3 extended).
void set_fpu_precision(int p);
// CPUID function 1 EDX flags (bit 23 is MMX), 0 without CPUID.
uint32_t cpu_features();
