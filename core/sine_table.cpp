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
    // Each angle from its index in double: a float sum of steps drifts by
    // about 1e-5 over the table.
    const double step = 2.0 * std::numbers::pi / static_cast<double>(count);
    for (int32_t i = 0; i < count; ++i) {
        values[i] = static_cast<float>(std::sin(step * static_cast<double>(i)));
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
