#include "tools/kasm/kasm_opcodes.h"

#include <cctype>

namespace kasm {

const Opcode opcodes[OPCODE_COUNT] = {
    {"nop", 0, Operands::None},
    {"wait", 1, Operands::None},
    {"start", 2, Operands::None},
    {"kill", 3, Operands::None},
    {"killarg", 4, Operands::None},
    {"call", 5, Operands::Two},
    {"callptr", 6, Operands::One},
    {"callmethod", 7, Operands::Two},
    {"calltable", 8, Operands::Two},
    {"callnative", 9, Operands::Two},
    {"ret", 10, Operands::None},
    {"ret1", 11, Operands::None},
    {"ret2", 12, Operands::None},
    {"ret3", 13, Operands::None},
    {"setresult1", 14, Operands::None},
    {"setresult2", 15, Operands::None},
    {"setresult3", 16, Operands::None},
    {"pushresult1", 17, Operands::None},
    {"pushresult2", 18, Operands::None},
    {"pushresult3", 19, Operands::None},
    {"jump", 20, Operands::One},
    {"jz", 21, Operands::One},
    {"jnz", 22, Operands::One},
    {"jgt", 23, Operands::One},
    {"jlt", 24, Operands::One},
    {"jge", 25, Operands::One},
    {"jle", 26, Operands::One},
    {"switchtable", 27, Operands::SwitchTable},
    {"switchsearch", 28, Operands::SwitchSearch},
    {"push1", 29, Operands::One},
    {"push2", 30, Operands::Two},
    {"push3", 31, Operands::Three},
    {"pushsp", 32, Operands::None},
    {"pushspofs", 33, Operands::One},
    {"pushargs", 34, Operands::None},
    {"pushargsofs", 35, Operands::One},
    {"addsp", 36, Operands::One},
    {"dup1", 37, Operands::None},
    {"dup2", 38, Operands::None},
    {"dup3", 39, Operands::None},
    {"new", 40, Operands::Two},
    {"delete", 41, Operands::None},
    {"loadbyte", 42, Operands::None},
    {"load1", 43, Operands::None},
    {"load2", 44, Operands::None},
    {"load3", 45, Operands::None},
    {"loadmethod", 46, Operands::One},
    {"storebyte", 47, Operands::None},
    {"store1", 48, Operands::None},
    {"store2", 49, Operands::None},
    {"store3", 50, Operands::None},
    {"iszero", 51, Operands::None},
    {"identity", 52, Operands::None},
    {"ispos", 53, Operands::None},
    {"isneg", 54, Operands::None},
    {"isnonneg", 55, Operands::None},
    {"isnonpos", 56, Operands::None},
    {"isnonzero", 57, Operands::None},
    {"fsign", 58, Operands::None},
    {"fsign2", 59, Operands::None},
    {"fsign3", 60, Operands::None},
    {"ucmp", 61, Operands::None},
    {"icmp", 62, Operands::None},
    {"fcmp", 63, Operands::None},
    {"fcmp2", 64, Operands::None},
    {"fcmp3", 65, Operands::None},
    {"and", 66, Operands::None},
    {"or", 67, Operands::None},
    {"xor", 68, Operands::None},
    {"land", 69, Operands::None},
    {"lor", 70, Operands::None},
    {"lxor", 71, Operands::None},
    {"lnot", 72, Operands::None},
    {"not", 73, Operands::None},
    {"shl", 74, Operands::None},
    {"shr", 75, Operands::None},
    {"sar", 76, Operands::None},
    {"neg", 77, Operands::None},
    {"fneg", 78, Operands::None},
    {"fneg2", 79, Operands::None},
    {"fneg3", 80, Operands::None},
    {"add", 81, Operands::None},
    {"fadd", 82, Operands::None},
    {"fadd2", 83, Operands::None},
    {"fadd3", 84, Operands::None},
    {"sub", 85, Operands::None},
    {"fsub", 86, Operands::None},
    {"fsub2", 87, Operands::None},
    {"fsub3", 88, Operands::None},
    {"umul", 89, Operands::None},
    {"imul", 90, Operands::None},
    {"fmul", 91, Operands::None},
    {"cmul", 92, Operands::None},
    {"dot", 93, Operands::None},
    {"cross", 94, Operands::None},
    {"udiv", 95, Operands::None},
    {"idiv", 96, Operands::None},
    {"fdiv", 97, Operands::None},
    {"cdiv", 98, Operands::None},
    {"umod", 99, Operands::None},
    {"imod", 100, Operands::None},
    {"fmod", 101, Operands::None},
    {"scale2", 102, Operands::None},
    {"scale3", 103, Operands::None},
    {"divscalar2", 104, Operands::None},
    {"divscalar3", 105, Operands::None},
    {"divlength3", 106, Operands::None},
    {"abs", 107, Operands::None},
    {"fabs", 108, Operands::None},
    {"length2", 109, Operands::None},
    {"length3", 110, Operands::None},
    {"sqrt", 111, Operands::None},
    {"sin", 112, Operands::None},
    {"cos", 113, Operands::None},
    {"log", 114, Operands::None},
    {"exp", 115, Operands::None},
    {"floor", 116, Operands::None},
    {"ceil", 117, Operands::None},
    {"round", 118, Operands::None},
    {"strlen", 119, Operands::None},
    {"strcmp", 120, Operands::None},
    {"zextbyte", 121, Operands::None},
    {"sextbyte", 122, Operands::None},
    {"utof", 123, Operands::None},
    {"itof", 124, Operands::None},
    {"ftou", 125, Operands::None},
    {"ftoi", 126, Operands::None},
    {"nip", 127, Operands::None},
    {"pop1", 128, Operands::None},
    {"nip2", 129, Operands::None},
    {"popnip", 130, Operands::None},
    {"pop2", 131, Operands::None},
};

namespace {

bool same_nocase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

} // namespace

const Opcode* find_opcode(const char* name)
{
    for (const Opcode& o : opcodes) {
        if (same_nocase(o.name, name)) {
            return &o;
        }
    }
    return nullptr;
}

int operand_words(Operands o)
{
    switch (o) {
    case Operands::One: return 1;
    case Operands::Two: return 2;
    case Operands::Three: return 3;
    default: return 0;
    }
}

} // namespace kasm
