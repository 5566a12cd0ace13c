// lightmap.bin read over the loaded map's polygons.
#include "fuzz_world_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::run_world_reader("lightmap.bin", FSYS_BINARY, read_lightmaps, fuzz::LEND_POLYGONS, data, size);
    return 0;
}
