#pragma once
// The assembler's table of opcodes: mnemonic, number and inline operands.
#include <cstdint>

namespace kasm {

enum class Operands : uint8_t {
    None,
    One,          // one word
    Two,          // two words
    Three,        // three words
    SwitchTable,  // default, low, count, targets
    SwitchSearch  // default, count, keys, targets
};

struct Opcode {
    const char* name;
    uint8_t code;
    Operands operands;
};

constexpr int OPCODE_COUNT = 132;
extern const Opcode opcodes[OPCODE_COUNT];

// Opcode by mnemonic (case-insensitive), or null.
const Opcode* find_opcode(const char* name);
int operand_words(Operands o);

} // namespace kasm
