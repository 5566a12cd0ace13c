#pragma once
// The procedural bump texture: a 64 x 64 height field of random round bumps,
// lit by a light direction into seven grey images, 64 x 64 down to 1 x 1.
#include <cstdint>
#include <vector>

class SineTable;

constexpr int32_t BUMP_SIZE = 64; // heights and level 0 texels a side; indices wrap
constexpr int BUMP_LEVELS = 7;
constexpr int BUMP_RANDOM_COUNT = 256;

// The bump field's own generator, apart from the C library's and the
// engine's: x = x * 1103515245 + 12345, bits 16-30 of x; x starts at 1.
class BumpRandom {
public:
    int32_t next(); // 0 .. 32767
    uint32_t state = 1;
};

struct BumpField {
    float height[BUMP_SIZE][BUMP_SIZE] = {}; // [row][column]

    // Adds sqrt(2 (0.5 - d)) * amplitude where d = fx^2 + fy^2 < 0.5, fx and fy
    // running from -1 to 1 in steps of 1 / radius over the 2 radius + 1 rows
    // and columns about (row, column); a radius of 0 or below adds nothing.
    void add_bump(int32_t row, int32_t column, int32_t radius, float amplitude);
    // Clears the field, then adds BUMP_RANDOM_COUNT bumps, four draws each.
    void add_random_bumps(BumpRandom& random);
};

// Level k holds (64 >> k)^2 texels of four equal bytes, rows of (64 >> k).
struct BumpImages {
    std::vector<uint8_t> bump_image[BUMP_LEVELS];

    // The levels' texels in order, as a mip chain upload takes them.
    void level_pointers(const uint8_t* levels[BUMP_LEVELS]) const;
};

// Level 0 lights each height's Sobel normal (gx, gy, 1), unnormalised, by
// (x, y, z): 0 at a dot product of -1 or below, 255 at 1 or above, else
// 128 + the nearest integer to 128 times it, at most 255. Each further level
// averages 2 x 2 texels of the one above.
void build_bump_images(const BumpField& field, float x, float y, float z, BumpImages& images);

// The light that animates the bumps at projection time t (ticks):
// (sin 0.02 t, cos 0.015 t, 0), each read from the sine table at the
// truncated index of its angle.
void bump_light_direction(const SineTable& sine, int32_t time, float light[3]);
