// Any bytes as an S3M module: loaded, and played a moment when it loads.
#include "fuzz/sound/fuzz_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz::fuzz_module(data, size, fuzz::ModuleFormat::S3M);
}
