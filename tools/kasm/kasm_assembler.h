#pragma once
// The script assembler: source text to a "KOBJ" object file.
//
// Source: one statement a line; ';' or '//' start a comment. "name:" defines a
// label in the current section (".name:" is local to the last plain label).
// Sections: .code (0), .data (1), .rodata (2), .bss (3), .section n.
// Data: .word, .byte, .float, .string "text", .ascii, .space n, .align n.
// Symbols: .global names, .extern names, .equ name, value, .names "a", "b" (puts
// these first in the names table, in this order); "@name" refers to a
// builtin (or any external symbol) named "name"; the server's builtins carry
// the '@' in their names, so scripts call them as "@@get_cmos". Functions: .func name, frame-size.
// Classes: .class name, object-size / .method f / .field name, type, offset
// [, element-type, element-size for arrays, with the array's total bytes as
// .field name, array, offset, total, element-type] / .flags value (the method
// table's word at offset 28 then points at a word holding the value; entries
// below it that no .method fills are 0) / .endclass.
// Macros: .macro name p, q ... \p \q ... .endm; "\@" is a number unique to each use.
// Instructions: the opcode names in lower case ("push1", "callnative"), their
// inline words as comma-separated operands; "push a, b, ..." pushes any number
// of words with a on top; "switchtable default, low, targets..." and
// "switchsearch default, key=target, ..." (keys sorted for the search).
// Operands are expressions with the operators of C; a "string" operand is
// placed in the .rodata pool. The misc records of frame and object sizes are
// written from .func and .class (.maxframe and .objsizes override them).
// Deliberately broken files: .magic, .arch, .version, .stamp, .reserved,
// .datasize, .crc, .sections, .namescount, .memsize, .reloc, .xdef, .xref,
// .misc, .trailing. ".xdef section, label, "name"" exports a label under any
// name, also one that is no plain name ("Object:init").
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kasm/kobj_writer.h"

namespace kasm {

struct Assembly {
    KObjFile file;
    std::vector<std::string> errors;  // "name:line: message"
    // Set by the directives for broken files, which a listing does not show.
    bool overrides = false;
    bool ok() const { return errors.empty(); }
    std::vector<uint8_t> bytes() const { return write_kobj(file); }
};

Assembly assemble(const std::string& source, const std::string& name = "<source>");

} // namespace kasm
