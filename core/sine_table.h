#pragma once
// The shared sine table: n entries (a power of two) over one period, read by
// the angle matrices with a rounding and a mask instead of a sine call.
#include <cstdint>

class SineTable {
public:
    SineTable() = default;
    ~SineTable();
    SineTable(const SineTable&) = delete;
    SineTable& operator=(const SineTable&) = delete;

    // Allocates and fills n entries; on failure values stays null and 0 is returned.
    int init(int32_t count);
    void release();

    // Index of an angle in radians: nearest integer to angle * scale, not yet masked.
    int32_t index(float angle) const;
    float sine_at(int32_t k) const { return values[static_cast<uint32_t>(k) & static_cast<uint32_t>(n - 1)]; }
    // The cosine of the same angle: a quarter period ahead.
    float cosine_at(int32_t k) const
    {
        return values[(static_cast<uint32_t>(n / 4) - static_cast<uint32_t>(k)) & static_cast<uint32_t>(n - 1)];
    }

    float* values = nullptr;
    int32_t n = 0;
    float scale = 0.0f; // entries per radian: n / (2 pi)
};

extern SineTable* sine_table;
