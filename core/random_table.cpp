#include "core/random_table.h"

#include "core/kassert.h"

#include <new>

RandomTable* random_table = nullptr;

namespace {

uint32_t rand_state = 1;

float rand_signed_unit() { return static_cast<float>(engine_rand()) * (2.0f / 32767.0f) - 1.0f; }

} // namespace

int32_t engine_rand()
{
    rand_state = rand_state * 214013u + 2531011u;
    return static_cast<int32_t>((rand_state >> 16) & 0x7FFFu);
}

void engine_srand(uint32_t seed) { rand_state = seed; }

RandomTable::~RandomTable() { release(); }

int RandomTable::init(int32_t count)
{
    K_ASSERT(count >= 1);
    release();
    floats = new (std::nothrow) float[static_cast<uint32_t>(count)];
    vectors = new (std::nothrow) Vector[static_cast<uint32_t>(count)];
    if (floats == nullptr || vectors == nullptr) {
        release();
        return 0;
    }
    n = count;
    for (int32_t i = 0; i < count; ++i) {
        floats[i] = static_cast<float>(engine_rand()) * (1.0f / 32767.0f);
        Vector v;
        do {
            v.x = rand_signed_unit();
            v.y = rand_signed_unit();
            v.z = rand_signed_unit();
        } while (vec_dot(v, v) > 1.0f);
        vectors[i] = v;
    }
    float_cursor = 0;
    vector_cursor = 0;
    return 1;
}

void RandomTable::release()
{
    delete[] floats;
    delete[] vectors;
    floats = nullptr;
    vectors = nullptr;
    n = 0;
    float_cursor = 0;
    vector_cursor = 0;
}

float RandomTable::next_float()
{
    K_ASSERT(n > 0);
    const float f = floats[float_cursor];
    float_cursor = float_cursor + 1 < n ? float_cursor + 1 : 0;
    return f;
}

const Vector& RandomTable::next_vector()
{
    K_ASSERT(n > 0);
    const Vector& v = vectors[vector_cursor];
    vector_cursor = vector_cursor + 1 < n ? vector_cursor + 1 : 0;
    return v;
}
