#include "platform/cpu.h"

#include "host/host_process.h"

void set_fpu_precision(int p) { host::set_x87_precision(static_cast<unsigned>(p) & 3u); }

uint32_t cpu_features() { return host::cpuid_features(); }
