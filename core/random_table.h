#pragma once
// The engine's random numbers: one 15-bit generator (x = x * 214013 + 2531011,
// result bits 16-30, seed 1) and the shared table of random floats in [0, 1]
// and vectors in the unit ball that particles and effects draw from.
#include "core/vector.h"

#include <cstdint>

int32_t engine_rand();       // 0 .. ENGINE_RAND_MAX
void engine_srand(uint32_t seed);
constexpr int32_t ENGINE_RAND_MAX = 0x7FFF;

class RandomTable {
public:
    RandomTable() = default;
    ~RandomTable();
    RandomTable(const RandomTable&) = delete;
    RandomTable& operator=(const RandomTable&) = delete;

    // Fills count entries from engine_rand; on failure n is 0 and 0 is returned.
    int init(int32_t count);
    void release();

    // Each cursor runs 0 .. n-1 and starts again.
    float next_float();
    const Vector& next_vector();

    float* floats = nullptr;
    Vector* vectors = nullptr;
    int32_t float_cursor = 0;
    int32_t vector_cursor = 0;
    int32_t n = 0;
};

extern RandomTable* random_table;
