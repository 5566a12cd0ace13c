// Compares the frames the two programs' pair drivers wrote at the same poses.
//
//   pair_compare flat SOFT_DIR GL_DIR POSES MIN_AGREEMENT [REGION_W REGION_H]
//     Flat mode (R_Flat 1) with R_Cells 1 ("flat1_<pose>.bmp") and 2
//     ("flat2_<pose>.bmp"). The software program fills a polygon with
//     k = number >> 4 as blue 13k, green 23k, red 42k (a checker flips red's
//     bit 4); the OpenGL one with n = number as red 13n + 67, green 23n + 43,
//     blue 42n + 12. Both frames are decoded (13 x 197 = 1 mod 256) and the
//     8-bit label of the two passes, number bits 4-7 of each, compared.
//     Software pixels that decode to no flat colour (transparent surfaces,
//     drawn textured there and dropped by OpenGL; the icons) are left out;
//     OpenGL pixels that do not decode count against it.
//   pair_compare psnr SOFT_DIR GL_DIR POSES MIN_DB,MIN_MEAN_DB [REGION_W REGION_H]
//     PSNR of each textured frame ("tex_<pose>.bmp"), OpenGL against software:
//     every pose at least MIN_DB, their mean at least MIN_MEAN_DB.
//
// REGION_W x REGION_H: only the bottom-left part of the frame is compared
// (what the OpenGL program's window holds, while it is smaller than the
// screen). A one-pixel border is always left out. Failures write both frames'
// pictures and a difference image beside the OpenGL frames. Exit 0 on pass.
#include "pair_bmp.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {

using pair::Frame;
using pair::load_bmp;
using pair::save_bmp;

constexpr uint32_t INVERSE_13 = 197; // 13 x 197 = 2561 = 10 x 256 + 1

// Number bits 4-7 from a software flat pixel; -1 when it is no flat colour.
int soft_label(const uint8_t* c)
{
    const uint32_t k = (INVERSE_13 * c[2]) & 0xFF;
    const uint32_t red = (42 * k) & 0xFF;
    if (((23 * k) & 0xFF) != c[1] || (red != c[0] && (red ^ 0x10) != c[0])) {
        return -1;
    }
    return static_cast<int>(k & 15);
}

// The same bits from an OpenGL flat pixel; -1 when it is no flat colour.
int gl_label(const uint8_t* c)
{
    const uint32_t n = (INVERSE_13 * static_cast<uint32_t>(c[0] - 67)) & 0xFF;
    if (((23 * n + 43) & 0xFF) != c[1] || ((42 * n + 12) & 0xFF) != c[2]) {
        return -1;
    }
    return static_cast<int>(n >> 4);
}

struct Region {
    int x0, y0, x1, y1; // compared pixels: x0 <= x < x1, y0 <= y < y1
};

Region region_of(const Frame& f, int w, int h)
{
    w = w > 0 && w < f.width ? w : f.width;
    h = h > 0 && h < f.height ? h : f.height;
    return {1, f.height - h + 1, w - 1, f.height - 1};
}

std::string name(const std::string& dir, const char* pass, int pose)
{
    return dir + "/" + pass + "_" + std::to_string(pose) + ".bmp";
}

bool same_size(const Frame& a, const Frame& b) { return a.width > 2 && a.width == b.width && a.height == b.height; }

int flat(const std::string& soft_dir, const std::string& gl_dir, int poses, double minimum, int rw, int rh)
{
    long long compared_all = 0;
    long long agreed_all = 0;
    bool failed = false;
    for (int p = 0; p < poses; ++p) {
        const Frame s1 = load_bmp(name(soft_dir, "flat1", p));
        const Frame s2 = load_bmp(name(soft_dir, "flat2", p));
        const Frame g1 = load_bmp(name(gl_dir, "flat1", p));
        const Frame g2 = load_bmp(name(gl_dir, "flat2", p));
        if (!same_size(s1, g1) || !same_size(s2, g2) || !same_size(s1, s2)) {
            std::printf("pose %d: missing or mismatched frames\n", p);
            return 1;
        }
        const Region r = region_of(s1, rw, rh);
        Frame diff = s1;
        long long compared = 0;
        long long agreed = 0;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                const int a1 = soft_label(s1.at(x, y));
                const int a2 = soft_label(s2.at(x, y));
                uint8_t* d = &diff.rgb[static_cast<size_t>(&s1.at(x, y)[0] - s1.rgb.data())];
                if (a1 < 0 || a2 < 0) {
                    d[0] = d[1] = d[2] = 64;
                    continue;
                }
                const bool agree = gl_label(g1.at(x, y)) == a1 && gl_label(g2.at(x, y)) == a2;
                ++compared;
                agreed += agree ? 1 : 0;
                d[0] = agree ? 0 : 255;
                d[1] = agree ? 0 : 255;
                d[2] = agree ? 0 : 255;
            }
        }
        const double share = compared > 0 ? static_cast<double>(agreed) / static_cast<double>(compared) : 0.0;
        std::printf("pose %2d: %lld pixels compared, %.4f%% agree\n", p, compared, 100.0 * share);
        if (share < minimum) {
            save_bmp(gl_dir + "/flat_diff_" + std::to_string(p) + ".bmp", diff);
            std::printf("  frames %s and %s, differences in %s\n", name(soft_dir, "flat2", p).c_str(),
                        name(gl_dir, "flat2", p).c_str(), (gl_dir + "/flat_diff_" + std::to_string(p) + ".bmp").c_str());
        }
        compared_all += compared;
        agreed_all += agreed;
    }
    const double share = compared_all > 0 ? static_cast<double>(agreed_all) / static_cast<double>(compared_all) : 0.0;
    failed = share < minimum;
    std::printf("flat agreement: %lld of %lld pixels, %.4f%% (at least %.2f%% wanted)\n", agreed_all, compared_all,
                100.0 * share, 100.0 * minimum);
    return failed ? 1 : 0;
}

int psnr(const std::string& soft_dir, const std::string& gl_dir, int poses, double minimum, double minimum_mean, int rw,
         int rh)
{
    bool failed = false;
    double sum = 0.0;
    double lowest = 1e9;
    for (int p = 0; p < poses; ++p) {
        const Frame s = load_bmp(name(soft_dir, "tex", p));
        const Frame g = load_bmp(name(gl_dir, "tex", p));
        if (!same_size(s, g)) {
            std::printf("pose %d: missing or mismatched frames\n", p);
            return 1;
        }
        const Region r = region_of(s, rw, rh);
        Frame diff = s;
        double squares = 0.0;
        long long n = 0;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                const uint8_t* a = s.at(x, y);
                const uint8_t* b = g.at(x, y);
                uint8_t* d = &diff.rgb[static_cast<size_t>(a - s.rgb.data())];
                for (int c = 0; c < 3; ++c) {
                    const double e = static_cast<double>(a[c]) - static_cast<double>(b[c]);
                    squares += e * e;
                    d[c] = static_cast<uint8_t>(std::min(255.0, 4.0 * std::fabs(e)));
                }
                n += 3;
            }
        }
        const double mse = n > 0 ? squares / static_cast<double>(n) : 0.0;
        const double db = mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
        std::printf("pose %2d: PSNR %.2f dB\n", p, db);
        if (db < minimum) {
            failed = true;
            save_bmp(gl_dir + "/tex_diff_" + std::to_string(p) + ".bmp", diff);
            std::printf("  frames %s and %s, differences (x4) in %s\n", name(soft_dir, "tex", p).c_str(),
                        name(gl_dir, "tex", p).c_str(), (gl_dir + "/tex_diff_" + std::to_string(p) + ".bmp").c_str());
        }
        sum += db;
        lowest = std::min(lowest, db);
    }
    const double mean = poses > 0 ? sum / poses : 0.0;
    std::printf("textured PSNR: mean %.2f dB, lowest %.2f dB (at least %.2f dB wanted at every pose, %.2f dB on the mean)\n",
                mean, lowest, minimum, minimum_mean);
    return failed || mean < minimum_mean ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 8) {
        std::fprintf(stderr, "usage: pair_compare flat|psnr SOFT_DIR GL_DIR POSES MINIMUM [REGION_W REGION_H]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const int poses = std::atoi(argv[4]);
    const double minimum = std::atof(argv[5]);
    const int rw = argc == 8 ? std::atoi(argv[6]) : 0;
    const int rh = argc == 8 ? std::atoi(argv[7]) : 0;
    if (mode == "flat") {
        return flat(argv[2], argv[3], poses, minimum, rw, rh);
    }
    if (mode == "psnr") {
        const char* const comma = std::strchr(argv[5], ',');
        return psnr(argv[2], argv[3], poses, minimum, comma != nullptr ? std::atof(comma + 1) : minimum, rw, rh);
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
