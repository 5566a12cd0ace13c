// patches.txt read over the loaded map's textures.
#include "fuzz_world_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_world_reader("patches.txt", FSYS_TEXT, read_patches, fuzz::LEND_TEXTURES, data, size);
    return 0;
}
