// textures.txt read into a world of its own: its texture manager loads what it names.
#include "fuzz_world_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_world_reader("textures.txt", FSYS_TEXT, read_textures, 0, data, size);
    return 0;
}
