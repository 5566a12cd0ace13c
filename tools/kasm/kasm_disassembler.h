#pragma once
// The disassembler: a "KOBJ" file back to a listing in the assembler's syntax.
#include <cstdint>
#include <string>
#include <vector>

namespace kasm {

// False with a message in out when the file is malformed (the listing up to
// the fault is kept).
bool disassemble(const std::vector<uint8_t>& file, std::string& out);

} // namespace kasm
