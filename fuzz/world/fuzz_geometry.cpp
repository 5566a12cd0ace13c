// geometry.txt of a generated map replaced by the input; the world loads and closes.
#include "fuzz_client_world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_client_world("geometry.txt", data, size);
    return 0;
}
