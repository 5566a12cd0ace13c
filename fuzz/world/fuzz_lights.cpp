// lights.txt read and its lights linked into the loaded shared map.
#include "fuzz_world_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_world_reader("lights.txt", FSYS_TEXT, read_lights, 0, data, size);
    return 0;
}
