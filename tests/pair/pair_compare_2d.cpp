// Compares the 2-D layer the two programs' pair drivers drew (--backdrop and
// --console, see pair_driver.cpp).
//
//   pair_compare_2d SOFT_DIR GL_DIR WINDOW_W WINDOW_H MIN_COVERAGE
//
// "backdrop.bmp" (the screen with no map: the backdrop picture alone) must be
// equal pixel for pixel. In "screen_0.bmp" (console text, the marker icons,
// the 3-D window of WINDOW_W x WINDOW_H in the middle) only what lies outside
// the window, with a pixel's margin, counts: each program's coverage is the
// pixels that differ from its own backdrop. The fonts' alpha comes from
// coverage classes and the icons are filtered differently, so the colours
// under text and icons are not compared, only which pixels they cover: the
// shared share of the covered pixels (intersection over union) must be at
// least MIN_COVERAGE, and every pixel neither covers must still be the same
// backdrop in both. Failures write the coverage (red: software only, green:
// OpenGL only, white: both) beside the OpenGL frames. Exit 0 on pass.
#include "pair_bmp.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using pair::Frame;

bool same_size(const Frame& a, const Frame& b) { return a.width > 2 && a.width == b.width && a.height == b.height; }

bool same_pixel(const Frame& a, const Frame& b, int x, int y)
{
    const uint8_t* p = a.at(x, y);
    const uint8_t* q = b.at(x, y);
    return p[0] == q[0] && p[1] == q[1] && p[2] == q[2];
}

int compare(const std::string& soft_dir, const std::string& gl_dir, int window_w, int window_h, double minimum)
{
    const Frame soft_back = pair::load_bmp(soft_dir + "/backdrop.bmp");
    const Frame gl_back = pair::load_bmp(gl_dir + "/backdrop.bmp");
    const Frame soft = pair::load_bmp(soft_dir + "/screen_0.bmp");
    const Frame gl = pair::load_bmp(gl_dir + "/screen_0.bmp");
    if (!same_size(soft_back, gl_back) || !same_size(soft, gl) || !same_size(soft, soft_back)) {
        std::printf("missing or mismatched frames\n");
        return 1;
    }
    bool failed = false;
    long long backdrop_differs = 0;
    for (int y = 0; y < soft.height; ++y) {
        for (int x = 0; x < soft.width; ++x) {
            backdrop_differs += same_pixel(soft_back, gl_back, x, y) ? 0 : 1;
        }
    }
    std::printf("backdrop: %lld of %d pixels differ\n", backdrop_differs, soft.width * soft.height);
    failed = failed || backdrop_differs != 0;

    // The window as both screen managers centre it, and a pixel round it.
    const int x0 = (soft.width - window_w) / 2 - 1;
    const int x1 = (soft.width + window_w) / 2 + 1;
    const int y0 = (soft.height - window_h) / 2 - 1;
    const int y1 = (soft.height + window_h) / 2 + 1;
    Frame coverage = soft;
    long long soft_only = 0;
    long long gl_only = 0;
    long long both = 0;
    long long uncovered_differs = 0;
    long long compared = 0;
    for (int y = 0; y < soft.height; ++y) {
        for (int x = 0; x < soft.width; ++x) {
            uint8_t* c = &coverage.rgb[static_cast<size_t>(soft.at(x, y) - soft.rgb.data())];
            if (x >= x0 && x < x1 && y >= y0 && y < y1) {
                c[0] = c[1] = c[2] = 64;
                continue;
            }
            ++compared;
            const bool s = !same_pixel(soft, soft_back, x, y);
            const bool g = !same_pixel(gl, gl_back, x, y);
            soft_only += s && !g ? 1 : 0;
            gl_only += g && !s ? 1 : 0;
            both += s && g ? 1 : 0;
            uncovered_differs += !s && !g && !same_pixel(soft, gl, x, y) ? 1 : 0;
            c[0] = s ? 255 : 0;
            c[1] = g ? 255 : 0;
            c[2] = s && g ? 255 : 0;
        }
    }
    const long long covered = both + soft_only + gl_only;
    const double share = covered > 0 ? static_cast<double>(both) / static_cast<double>(covered) : 0.0;
    std::printf("outside the window: %lld pixels; covered by both %lld, software only %lld, OpenGL only %lld: "
                "%.4f%% shared (at least %.2f%% wanted); uncovered pixels that differ: %lld\n",
                compared, both, soft_only, gl_only, 100.0 * share, 100.0 * minimum, uncovered_differs);
    failed = failed || share < minimum || uncovered_differs != 0 || both == 0;
    if (failed) {
        pair::save_bmp(gl_dir + "/coverage_diff.bmp", coverage);
        std::printf("  coverage in %s\n", (gl_dir + "/coverage_diff.bmp").c_str());
    }
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: pair_compare_2d SOFT_DIR GL_DIR WINDOW_W WINDOW_H MIN_COVERAGE\n");
        return 2;
    }
    return compare(argv[1], argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atof(argv[5]));
}
