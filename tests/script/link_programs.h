#pragma once
// Programs of the linker's tests, which the decode differential test runs too.

// Reads a data row, calls a native and holds relocated addresses in its data.
inline const char* const link_main_program = R"(
.global main, table
.code
.func main, 8
    push1 @_ticks_per_second
    load1
    callnative @note, 4
    ret
.data
table: .word main, table+4
.bss
.space 16
)";

// Initialisers, run at the next tick, larger numbers first.
inline const char* const link_init_program = R"(
.global main, _init_1_a, _init_3_b, _init_70000_c
.code
.func main, 0
    ret
.func _init_1_a, 4
    push 1
    callnative @note, 4
    ret
.func _init_3_b, 4
    push 3
    callnative @note, 4
    ret
.func _init_70000_c, 4
    push 70000
    callnative @note, 4
    ret
)";
