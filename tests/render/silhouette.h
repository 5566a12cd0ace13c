#pragma once
// The silhouette of a convex body on the screen: the convex hull of its
// projected corners, and each pixel centre's signed distance from its edges.
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Point2 {
    double x, y;
};

// Signed distance of p from the line a-b, positive on the hull's inside
// when the hull runs counter-clockwise in x-right, y-down terms.
inline double side(const Point2& a, const Point2& b, const Point2& p)
{
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    return cross / std::hypot(b.x - a.x, b.y - a.y);
}

inline std::vector<Point2> hull(std::vector<Point2> p)
{
    std::sort(p.begin(), p.end(), [](const Point2& a, const Point2& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::vector<Point2> h(2 * p.size());
    size_t k = 0;
    auto turn = [](const Point2& o, const Point2& a, const Point2& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && turn(h[k - 2], h[k - 1], p[i]) <= 0) {
            --k;
        }
        h[k++] = p[i];
    }
    for (size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && turn(h[k - 2], h[k - 1], p[i - 1]) <= 0) {
            --k;
        }
        h[k++] = p[i - 1];
    }
    h.resize(k - 1);
    return h;
}

// Distance of a pixel centre inside the hull (negative outside).
inline double hull_depth(const std::vector<Point2>& h, double x, double y)
{
    double d = 1e9;
    for (size_t i = 0; i < h.size(); ++i) {
        d = std::min(d, side(h[i], h[(i + 1) % h.size()], {x, y}));
    }
    return d;
}

} // namespace
