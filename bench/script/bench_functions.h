#pragma once
// The benchmark's counted loop and recursion in the assembler's text: the
// benchmark times them, and the script tests run them through both machines.
constexpr const char* BENCH_SUM_AND_FIB = R"(
; sum of 0..n-1; locals i (on top) and total
.func sum, 32
    push 0, 0
.loop:
    pushargs
    load1
    pushspofs 4
    load1
    sub                 ; i - n
    jge .done
    pushsp
    load2
    add                 ; i + total
    pushspofs 8
    store1
    pushsp
    load1
    push 1
    add
    pushspofs 4
    store1
    jump .loop
.done:
    pushspofs 4
    load1
    ret1
.func fib, 16
    pushargs
    load1
    push 2
    icmp                ; 2 against n: -1 when 2 < n
    jge .small
    push 1
    pushargs
    load1
    sub
    call fib, 4
    pushresult1
    push 2
    pushargs
    load1
    sub
    call fib, 4
    pushresult1
    add
    ret1
.small:
    push 1
    ret1
)";
