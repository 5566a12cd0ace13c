#include "core/sine_table.h"

#include "core/kassert.h"
#include "core/numerics.h"

#include <cmath>
#include <new>
#include <numbers>

SineTable* sine_table = nullptr;

SineTable::~SineTable() { release(); }

int SineTable::init(int32_t count)
{
    K_ASSERT(count >= 4 && (count & (count - 1)) == 0);
    release();
    values = new (std::nothrow) float[static_cast<uint32_t>(count)];
    if (values == nullptr) {
        return 0;
    }
    n = count;
    const float two_pi = static_cast<float>(2.0 * std::numbers::pi);
    scale = static_cast<float>(count) / two_pi;
    const float step = two_pi / static_cast<float>(count);
    float angle = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        values[i] = static_cast<float>(std::sin(static_cast<double>(angle)));
        angle += step;
    }
    return 1;
}

void SineTable::release()
{
    delete[] values;
    values = nullptr;
    n = 0;
    scale = 0.0f;
}

int32_t SineTable::index(float angle) const { return float_to_int_round(static_cast<double>(angle * scale)); }
