#include "gl/gl_fan_start.h"

#include <cmath>
#include <limits>

namespace {

// The length of (b - a) x (c - a), in double so that large maps lose no
// small triangle.
double cross_length(const Vector& a, const Vector& b, const Vector& c)
{
    const double ux = double{b.x} - a.x;
    const double uy = double{b.y} - a.y;
    const double uz = double{b.z} - a.z;
    const double vx = double{c.x} - a.x;
    const double vy = double{c.y} - a.y;
    const double vz = double{c.z} - a.z;
    const double x = uy * vz - uz * vy;
    const double y = uz * vx - ux * vz;
    const double z = ux * vy - uy * vx;
    return std::sqrt(x * x + y * y + z * z);
}

} // namespace

int32_t choose_fan_start(const Vector* const* vertices, int32_t count)
{
    // A triangle's only fan is itself.
    if (count < 4) {
        return 0;
    }
    // The product as a sum of logarithms: 64 vertices' areas overflow a
    // double's range, and a degenerate triangle gives minus infinity.
    const double tie = std::log1p(FAN_START_TIE);
    int32_t best = 0;
    double best_score = -std::numeric_limits<double>::infinity();
    for (int32_t s = 0; s < count; ++s) {
        const Vector& apex = *vertices[s];
        double score = 0.0;
        for (int32_t k = 1; k + 1 < count; ++k) {
            score += std::log(cross_length(apex, *vertices[(s + k) % count], *vertices[(s + k + 1) % count]));
        }
        if (s == 0) {
            best_score = score;
        } else if (score > best_score + tie) {
            best = s;
            best_score = score;
        }
    }
    return best;
}
