// Any bytes as "rtrees.txt" of a generated map, loaded and walked.
#include "fuzz/world/fuzz_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_map("rtrees.txt", data, size);
    return 0;
}
