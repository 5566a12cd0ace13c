#pragma once
// The disassembler: a "KOBJ" file back to a listing in the assembler's syntax.
// The listing of a file the assembler wrote (without its broken-file settings)
// assembles into the same bytes: section bases are the labels "section@n",
// exported names are labels, and ".names" keeps the order of the names table.
#include <cstdint>
#include <string>
#include <vector>

namespace kasm {

// False with a message in out when the file is malformed (the listing up to
// the fault is kept).
bool disassemble(const std::vector<uint8_t>& file, std::string& out);

} // namespace kasm
