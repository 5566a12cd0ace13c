// Assembler source text: any input gives errors or a file, never a fault or a
// hang; every file it writes is one the disassembler reads whole, and the
// listing assembles again into the same bytes. Sources that ask for a
// deliberately broken file (header, size, check-word or table overrides) are
// left out: they may be unreadable on purpose, and a listing does not carry them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096) {
        return 0;
    }
    const kasm::Assembly a = kasm::assemble(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
    if (!a.ok() || a.overrides) {
        return 0;
    }
    const std::vector<uint8_t> first = a.bytes();
    std::string listing;
    if (!kasm::disassemble(first, listing)) {
        __builtin_trap();
    }
    const kasm::Assembly again = kasm::assemble(listing, "listing");
    if (!again.ok() || again.bytes() != first) {
        std::fprintf(stderr, "listing does not assemble into the same bytes:\n%s\n", listing.c_str());
        for (const std::string& e : again.errors) {
            std::fprintf(stderr, "%s\n", e.c_str());
        }
        __builtin_trap();
    }
    return 0;
}
