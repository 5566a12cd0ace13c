// Any bytes as "pvs.bin" of a generated map, loaded and walked.
#include "fuzz/world/fuzz_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_map("pvs.bin", data, size);
    return 0;
}
