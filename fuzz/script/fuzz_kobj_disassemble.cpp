// "KOBJ" files: the disassembler lists any input or refuses it, never faults.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kasm/kasm_disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string listing;
    kasm::disassemble(std::vector<uint8_t>(data, data + size), listing);
    return 0;
}
