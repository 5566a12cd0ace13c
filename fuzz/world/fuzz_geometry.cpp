// geometry.txt read over the loaded shared map and patches.
#include "fuzz_world_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_world_reader("geometry.txt", FSYS_TEXT, read_geometry, fuzz::LEND_PATCHES, data, size);
    return 0;
}
