// info.txt read into a world whose texture manager has room for the sky.
#include "fuzz_world_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_world_reader("info.txt", FSYS_TEXT, read_info, fuzz::LEND_SKY_SLOTS, data, size);
    return 0;
}
