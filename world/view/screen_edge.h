#pragma once
// Stepping a screen edge line by line, shared by the clip gaps and the edge
// list. Coordinates are 16.16; line y samples the edge at y << 16, and the
// pixels right of the edge begin at ceil(x). The edge's x is held exactly, as
// a whole 16.16 part and a remainder in units of 1 / dy, so that every line
// gets the true ceil(x) however far it is stepped; products are 128-bit, so
// any 32-bit corner works.
#include <cstdint>

// The first whole line at or below a 16.16 y.
inline int64_t ceil_line(int64_t y) { return (y + 0xFFFF) >> 16; }
// The first whole pixel at or right of a 16.16 x.
inline int64_t ceil_pixel(int64_t x) { return (x + 0xFFFF) >> 16; }

class ScreenEdge {
public:
    // The edge from (xa, ya) to (xb, yb), ya < yb, placed on `line`.
    void place(int64_t xa, int64_t ya, int64_t xb, int64_t yb, int64_t line)
    {
        dy_ = yb - ya;
        const __int128 dx = xb - xa;
        const __int128 along = static_cast<__int128>(line) * 65536 - ya;
        split(along * dx, x_, r_);
        x_ += xa;
        split(dx * 65536, step_, step_r_);
    }
    void advance()
    {
        x_ += step_;
        r_ += step_r_;
        if (r_ >= dy_) {
            r_ -= dy_;
            ++x_;
        }
    }
    // The first pixel right of the edge on the current line.
    int64_t pixel() const { return ceil_pixel(x_ + (r_ > 0 ? 1 : 0)); }
    // 16.16 x, rounded down; for ordering.
    int64_t x() const { return x_; }

private:
    // q = floor(n / dy), r = n - q dy in [0, dy).
    void split(__int128 n, int64_t& q, int64_t& r) const
    {
        __int128 quotient = n / dy_;
        __int128 rest = n % dy_;
        if (rest < 0) {
            rest += dy_;
            --quotient;
        }
        q = static_cast<int64_t>(quotient);
        r = static_cast<int64_t>(rest);
    }

    int64_t x_ = 0;
    int64_t r_ = 0;
    int64_t step_ = 0;
    int64_t step_r_ = 0;
    int64_t dy_ = 1;
};
