// Which pixels a mesh triangle covers, checked against a reference that knows
// nothing of edges walked row by row: a pixel centre belongs to a triangle
// when it lies inside every edge, or on an edge that goes up (a left edge) or
// is flat and has the triangle below it (a top edge). Corners anywhere in the
// 16.16 range, slivers whose slope is thousands of pixels per row, and centres
// lying exactly on edges and corners.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "soft/lighting_tables.h"
#include "soft/mesh_triangle.h"

namespace {

__extension__ typedef __int128 int128;

constexpr float COVER_FULL_LIGHT = 64 * 256.0f;
constexpr float COVER_DEPTH_256 = 16777216.0f;

// Corners in 16.16 pixels, in index order.
struct Corners {
    int32_t x[3];
    int32_t y[3];
};

// (b - a) x (p - a), exact.
int128 cross(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py)
{
    return static_cast<int128>(bx - ax) * (py - ay) - static_cast<int128>(by - ay) * (px - ax);
}

int128 area(const Corners& c) { return cross(c.x[0], c.y[0], c.x[1], c.y[1], c.x[2], c.y[2]); }

// For a triangle of positive area.
bool reference_covers(const Corners& c, int column, int row)
{
    const int64_t px = int64_t{column} << 16;
    const int64_t py = int64_t{row} << 16;
    // With a positive area the inside lies where every edge's cross product is positive.
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3;
        const int128 side = cross(c.x[a], c.y[a], c.x[b], c.y[b], px, py);
        const bool left_or_top = c.y[b] < c.y[a] || (c.y[b] == c.y[a] && c.x[b] > c.x[a]);
        if (side < 0 || (side == 0 && !left_or_top)) {
            return false;
        }
    }
    return true;
}

// A window of its own size over a one-colour skin: every pixel a triangle
// draws turns from 0 to 2 * 0x00102030.
class CoverageScene {
public:
    CoverageScene(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height),
          depth_(static_cast<size_t>(width) * height)
    {
        build_lighting_tables();
        for (int y = 0; y < height; ++y) {
            line_offset_.push_back(y * width);
            depth_rows_.push_back(depth_.data() + static_cast<size_t>(y) * width);
        }
        palette_[1] = 0x00102030;
        texture_.levels[0] = TexelMap{texels_.data(), 4, 4, {0, 4, 0, 4}, 0};
        texture_.palette = palette_;
        texture_.mipmaps = 1;
        texture_.ulog = 2;
        texture_.usize = 4;
        texture_.vsize = 4;
        window_ = DrawWindow{pixels_.data(), line_offset_.data(), depth_rows_.data(), width, height,
                             {16, 8, 0, 24},   palette_,           true,       false};
        for (int k = 0; k < 3; ++k) {
            triangle_.vertex[k] = static_cast<uint32_t>(k);
            triangle_.u[k] = 0x18000;
            triangle_.v[k] = 0x18000;
        }
        triangle_.texture = &texture_;
    }

    // The pixels that the affine (perspective == false) or the perspective path draws.
    std::vector<uint8_t> draw(const Corners& c, bool perspective)
    {
        std::fill(pixels_.begin(), pixels_.end(), 0u);
        std::fill(depth_.begin(), depth_.end(), uint16_t{0});
        for (int k = 0; k < 3; ++k) {
            vertices_[k] = MeshVertex{0, 0, 0, c.x[k], c.y[k], {COVER_FULL_LIGHT, COVER_FULL_LIGHT, COVER_FULL_LIGHT}, COVER_DEPTH_256};
        }
        if (perspective) {
            mesh_triangle_draw_persp(&triangle_, vertices_, &window_);
        } else {
            TriangleGradients record;
            if (mesh_triangle_draw_inline(&record, &triangle_, vertices_, &window_) != 0) {
                mesh_triangle_draw_affine(&record, &window_);
            }
        }
        std::vector<uint8_t> covered(pixels_.size());
        for (size_t i = 0; i < pixels_.size(); ++i) {
            covered[i] = pixels_[i] != 0 ? 1 : 0;
        }
        return covered;
    }

    std::vector<uint8_t> reference(const Corners& c) const
    {
        std::vector<uint8_t> covered(pixels_.size());
        if (area(c) <= 0) {
            return covered; // faces away, or no area
        }
        int64_t x_min = c.x[0], x_max = c.x[0], y_min = c.y[0], y_max = c.y[0];
        for (int k = 1; k < 3; ++k) {
            x_min = std::min<int64_t>(x_min, c.x[k]);
            x_max = std::max<int64_t>(x_max, c.x[k]);
            y_min = std::min<int64_t>(y_min, c.y[k]);
            y_max = std::max<int64_t>(y_max, c.y[k]);
        }
        // Only centres inside the corners' box can be inside.
        const int first_column = static_cast<int>(std::clamp<int64_t>((x_min + 0xFFFF) >> 16, 0, width_));
        const int end_column = static_cast<int>(std::clamp<int64_t>((x_max >> 16) + 1, 0, width_));
        const int first_row = static_cast<int>(std::clamp<int64_t>((y_min + 0xFFFF) >> 16, 0, height_));
        const int end_row = static_cast<int>(std::clamp<int64_t>((y_max >> 16) + 1, 0, height_));
        for (int y = first_row; y < end_row; ++y) {
            for (int x = first_column; x < end_column; ++x) {
                covered[static_cast<size_t>(y) * width_ + x] = reference_covers(c, x, y) ? 1 : 0;
            }
        }
        return covered;
    }

    // "" when both paths draw exactly the reference's pixels, else the first
    // difference; `due` counts the reference's pixels.
    std::string compare(const Corners& c, int64_t* due = nullptr)
    {
        const std::vector<uint8_t> expected = reference(c);
        if (due != nullptr) {
            *due = std::count(expected.begin(), expected.end(), uint8_t{1});
        }
        for (const bool perspective : {false, true}) {
            const std::vector<uint8_t> drawn = draw(c, perspective);
            for (size_t i = 0; i < drawn.size(); ++i) {
                if (drawn[i] != expected[i]) {
                    return std::string(perspective ? "perspective" : "affine") + " path " +
                           (drawn[i] != 0 ? "draws" : "misses") + " pixel (" + std::to_string(i % width_) + ", " +
                           std::to_string(i / width_) + ")";
                }
            }
        }
        return "";
    }

    int row_pixels(const std::vector<uint8_t>& covered, int row) const
    {
        int n = 0;
        for (int x = 0; x < width_; ++x) {
            n += covered[static_cast<size_t>(row) * width_ + x];
        }
        return n;
    }

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
    std::vector<uint16_t> depth_;
    std::vector<int32_t> line_offset_;
    std::vector<uint16_t*> depth_rows_;
    std::vector<uint8_t> texels_ = std::vector<uint8_t>(4 * 5, 1);
    uint32_t palette_[256] = {};
    Texture texture_{};
    DrawWindow window_{};
    MeshVertex vertices_[3]{};
    MeshTriangle triangle_{};
};

// Pixels to 16.16, cut toward zero as a projection that truncates would.
int32_t cut(double pixels) { return static_cast<int32_t>(pixels * 65536); }

Corners corners(double x0, double y0, double x1, double y1, double x2, double y2)
{
    return Corners{{cut(x0), cut(x1), cut(x2)}, {cut(y0), cut(y1), cut(y2)}};
}

} // namespace

TEST(MeshCoverage, TrickyTrianglesCoverTheirPixelsExactly)
{
    constexpr int32_t LOW = INT32_MIN;
    constexpr int32_t HIGH = INT32_MAX;
    struct Case {
        const char* why;
        Corners c;
        int row;        // a row whose pixels are counted, or -1
        int row_pixels; // on that row
    };
    const Case cases[] = {
        {"a sliver whose slope is 3,276,800,000 per row", corners(0, 4.99, 1000, 5.01, 0, 50), 5, 501},
        {"the sliver mirrored", corners(1000, 4.99, 1000, 50, 0, 5.01), 5, 500},
        {"a sliver whose long edge is the steep one", corners(0, 5.01, 1000, 4.99, 1000, 50), 5, 500},
        {"a window-covering triangle with one far corner", corners(-1, -1, 30000, -1, -1, 200), 63, 1024},
        {"corners at the ends of the 16.16 range, a centre on the diagonal on every row",
         Corners{{LOW, HIGH, HIGH}, {LOW, LOW, HIGH}}, 40, 984},
        {"a sliver one unit wide along that diagonal", Corners{{LOW, LOW + 1, HIGH}, {LOW, LOW, HIGH}}, 20, 1},
        {"a sliver on the outer side of the diagonal", Corners{{LOW, HIGH, LOW}, {LOW, HIGH, LOW + 1}}, 20, 0},
        {"a far corner above the window", corners(5, -20000, 900, 30, 3, 40), -1, 0},
        {"a far corner left of the window on a thin wedge", corners(-30000, 10.5, 500, 9.9, 500, 11.1), 10, 500},
        {"corners on pixel centres: flat top and left edge inside, the rest outside", corners(2, 2, 50, 2, 2, 40), 2,
         48},
        {"an edge through a pixel centre on every row", corners(0, 0, 64, 32, 0, 64), 16, 32},
        {"the middle corner on a row, left of the long edge", corners(10, 0, 30, 60, 0, 30), 30, 20},
        {"the middle corner on a row, right of the long edge", corners(10, 0, 40, 30, 10, 60), 30, 30},
        {"a flat bottom on a row", corners(10, 5, 60, 20, 0, 20), 20, 0},
        {"a needle one unit wide", Corners{{cut(100), cut(100) + 1, cut(300)}, {cut(0), cut(0), cut(63)}}, 0, 1},
        {"facing away", corners(0, 0, 0, 50, 500, 0), 10, 0},
    };
    CoverageScene scene(1024, 64);
    for (const Case& c : cases) {
        EXPECT_EQ(scene.compare(c.c), "") << c.why;
        if (c.row >= 0) {
            EXPECT_EQ(scene.row_pixels(scene.draw(c.c, false), c.row), c.row_pixels) << c.why;
        }
    }
}

TEST(MeshCoverage, RandomTrianglesCoverTheirPixelsExactly)
{
    CoverageScene scene(160, 96);
    std::mt19937 random(20240611);
    auto any = [&](int64_t low, int64_t high) {
        return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(low, high)(random));
    };
    auto near_x = [&] { return any(-16 * 65536, (scene.width() + 16) * 65536); };
    auto near_y = [&] { return any(-16 * 65536, (scene.height() + 16) * 65536); };
    auto half_pixel = [&](int extent) { return any(-16, 2 * extent + 16) * 32768; };
    auto far = [&] { return any(-(int64_t{32767} << 16), int64_t{32767} << 16); };
    auto sign = [&] { return any(0, 1) != 0 ? 1 : -1; };

    constexpr int TRIANGLES = 4000;
    int drawn = 0;
    for (int i = 0; i < TRIANGLES; ++i) {
        Corners c{};
        switch (i % 5) {
        case 0: // anywhere near the window
            for (int k = 0; k < 3; ++k) {
                c.x[k] = near_x();
                c.y[k] = near_y();
            }
            break;
        case 1: // on half pixels, so that centres fall on edges and corners
            for (int k = 0; k < 3; ++k) {
                c.x[k] = half_pixel(scene.width());
                c.y[k] = half_pixel(scene.height());
            }
            break;
        case 2: // a sliver: two corners a few units apart in y, far apart in x
            c.x[0] = near_x();
            c.y[0] = near_y();
            c.x[1] = c.x[0] + sign() * any(100 * 65536, int64_t{30000} << 16);
            c.y[1] = c.y[0] + any(-4 * 65536, 4 * 65536) / any(1, 65536);
            c.x[2] = near_x();
            c.y[2] = near_y();
            break;
        case 3: // corners anywhere in the 32-bit range
            for (int k = 0; k < 3; ++k) {
                c.x[k] = any(INT32_MIN, INT32_MAX);
                c.y[k] = any(INT32_MIN, INT32_MAX);
            }
            break;
        default: // two corners near, one far
            for (int k = 0; k < 3; ++k) {
                c.x[k] = near_x();
                c.y[k] = near_y();
            }
            c.x[i % 3] = far();
            c.y[i % 3] = far();
            break;
        }
        // Most face the camera; every eighth keeps whatever winding it got.
        if (i % 8 != 0 && area(c) < 0) {
            std::swap(c.x[1], c.x[2]);
            std::swap(c.y[1], c.y[2]);
        }
        int64_t due = 0;
        const std::string difference = scene.compare(c, &due);
        ASSERT_EQ(difference, "") << "triangle " << i << ": (" << c.x[0] << ", " << c.y[0] << ") (" << c.x[1]
                                  << ", " << c.y[1] << ") (" << c.x[2] << ", " << c.y[2] << ")";
        drawn += due != 0 ? 1 : 0;
    }
    // Most triangles reach the window, so that the comparison is not empty.
    EXPECT_GT(drawn, TRIANGLES / 2);
}
