// Assembler source text: any input gives errors or a file, never a fault or a
// hang; every file it writes is one the disassembler reads whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096) {
        return 0;
    }
    const kasm::Assembly a = kasm::assemble(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
    if (!a.ok()) {
        return 0;
    }
    std::string listing;
    if (!kasm::disassemble(a.bytes(), listing)) {
        __builtin_trap();
    }
    return 0;
}
