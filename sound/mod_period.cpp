#include "sound/mod_period.h"

#include <cmath>

namespace {

constexpr int LINEAR_STEPS = 768;
constexpr uint32_t PERIOD_TABLE[12] = {27392, 25856, 24384, 23040, 21696, 20480,
                                       19328, 18240, 17216, 16256, 15360, 14512};

struct LinearTable {
    uint32_t entry[LINEAR_STEPS];
    LinearTable()
    {
        for (int i = 0; i < LINEAR_STEPS; ++i) {
            entry[i] = uint32_t(16726.0 * std::exp2(double(i) / LINEAR_STEPS) + 0.001);
        }
    }
};

const LinearTable& linear_table()
{
    static const LinearTable table;
    return table;
}

} // namespace

uint32_t mod_linear_table(int i)
{
    return linear_table().entry[i];
}

int32_t mod_note_period(const ModuleData& m, uint32_t note, uint32_t sample)
{
    const ModSample* const s = m.sample(sample);
    if (note >= uint32_t(MOD_NOTES) || s == nullptr || s->c5 == 0) {
        return m.max_period;
    }
    int64_t period;
    if ((m.format_flags & MODF_LINEAR) != 0) {
        period = int64_t(120 - note) * 64 + s->period_offset;
    } else {
        period = ((PERIOD_TABLE[note % 12] * 16726u) >> (note / 12)) / s->c5;
    }
    if (period < m.min_period) {
        period = m.min_period;
    }
    if (period > m.max_period) {
        period = m.max_period;
    }
    return int32_t(period);
}

int32_t mod_period_hz(int32_t period, bool linear)
{
    if (period <= 0) {
        return 1;
    }
    if (!linear) {
        return int32_t(14317456 / period);
    }
    const uint32_t shift = uint32_t(period / LINEAR_STEPS);
    const uint32_t base = mod_linear_table(LINEAR_STEPS - 1 - period % LINEAR_STEPS) * 8;
    return shift < 32 ? int32_t(base >> shift) : 0;
}
