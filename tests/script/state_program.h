#pragma once
// The script program of the state tests and the state loader's fuzz target:
// a class with a field of every saved type.
#include <cstdint>

// Thing@vt has a field of every type; its save info is followed by Far@vt,
// whose field lies outside its object.
inline const char* const state_program = R"(
.global worker, waiter, make_thing, make_far, gvar, Thing@vt, Far@vt
.code
.func worker, 16
    pushargs
    load1
    callnative @note, 4
    ret
.func waiter, 16
    push 100
    wait
    ret
.func make_thing, 16
    new 68, Thing@vt
    ret1
.func make_far, 16
    new 8, Far@vt
    ret1
.data
gvar: .word 0
.class Thing@vt, 64
    .method worker
    .field b, byte, 0
    .field flag, bool, 4
    .field n, int, 8
    .field f, float, 12
    .field f2, float2, 16
    .field v, vector, 24
    .field s, string, 36
    .field p, pointer, 40
    .field a, array, 44, 16, int
    .field q, pointer, 60
.endclass
.class Far@vt, 4
    .field far, int, 8
.endclass
)";

// Offsets of Thing's fields.
constexpr uint32_t THING_B = 0, THING_FLAG = 4, THING_N = 8, THING_F = 12, THING_F2 = 16, THING_V = 24, THING_S = 36,
                   THING_P = 40, THING_A = 44, THING_Q = 60, THING_SIZE = 64;
