// Compares where the two programs draw the mesh models. A mesh's pixels are
// those that differ between a pass with the models drawn ("ON_<pose>.bmp")
// and one without them ("OFF_<pose>.bmp"), the world standing still between
// the two.
//
//   pair_mesh agree SOFT_DIR GL_DIR ON OFF POSES MIN_SHARE
//     POSES: a count (poses 0 to POSES - 1) or a list "3,4,5". At each pose each program's mask is not empty and keeps off the
//     frame's border (the meshes lie wholly inside the window), and the
//     pixels both masks hold are at least MIN_SHARE of each mask.
//   pair_mesh moved DIR ON_A OFF_A POSE_A ON_B OFF_B POSE_B MIN_PIXELS
//     The masks of one program at two moments or two camera poses: both not
//     empty, and each holding at least MIN_PIXELS the other lacks (the
//     meshes moved on the screen).
//
// A failed agreement writes a picture of both masks beside the OpenGL frames
// (white: both, red: software only, blue: OpenGL only). Exit 0 on pass.
#include "pair_bmp.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Mask {
    int width = 0;
    int height = 0;
    std::vector<bool> on;
    long long count = 0;
    bool touches_border = false;
    double cx = 0.0, cy = 0.0; // centroid

    bool valid() const { return width > 0; }
    bool at(int x, int y) const { return on[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

Mask mask_of(const std::string& dir, const std::string& on_tag, const std::string& off_tag, int pose)
{
    const std::string suffix = "_" + std::to_string(pose) + ".bmp";
    const pair::Frame a = pair::load_bmp(dir + "/" + on_tag + suffix);
    const pair::Frame b = pair::load_bmp(dir + "/" + off_tag + suffix);
    Mask m;
    if (a.width == 0 || a.width != b.width || a.height != b.height) {
        std::printf("%s: missing or mismatched frames %s, %s at pose %d\n", dir.c_str(), on_tag.c_str(),
                    off_tag.c_str(), pose);
        return m;
    }
    m.width = a.width;
    m.height = a.height;
    m.on.resize(a.rgb.size() / 3);
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (std::memcmp(a.at(x, y), b.at(x, y), 3) == 0) {
                continue;
            }
            m.on[static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x)] = true;
            ++m.count;
            m.cx += x;
            m.cy += y;
            m.touches_border = m.touches_border || x == 0 || y == 0 || x == a.width - 1 || y == a.height - 1;
        }
    }
    if (m.count > 0) {
        m.cx /= static_cast<double>(m.count);
        m.cy /= static_cast<double>(m.count);
    }
    return m;
}

long long shared(const Mask& a, const Mask& b)
{
    long long n = 0;
    for (size_t i = 0; i < a.on.size(); ++i) {
        n += a.on[i] && b.on[i] ? 1 : 0;
    }
    return n;
}

// The smaller of the shared pixels' shares of the two masks.
double share(const Mask& a, const Mask& b)
{
    const long long both = shared(a, b);
    return std::min(static_cast<double>(both) / static_cast<double>(a.count),
                    static_cast<double>(both) / static_cast<double>(b.count));
}

void save_masks(const std::string& path, const Mask& soft, const Mask& gl)
{
    pair::Frame f;
    f.width = soft.width;
    f.height = soft.height;
    f.rgb.resize(soft.on.size() * 3);
    for (size_t i = 0; i < soft.on.size(); ++i) {
        f.rgb[3 * i] = soft.on[i] ? 255 : 0;
        f.rgb[3 * i + 1] = soft.on[i] && gl.on[i] ? 255 : 0;
        f.rgb[3 * i + 2] = gl.on[i] ? 255 : 0;
    }
    pair::save_bmp(path, f);
}

// "N": poses 0 to N - 1; "a,b,c": those poses.
std::vector<int> pose_list(const std::string& text)
{
    std::vector<int> poses;
    if (text.find(',') == std::string::npos) {
        for (int p = 0; p < std::atoi(text.c_str()); ++p) {
            poses.push_back(p);
        }
        return poses;
    }
    for (size_t at = 0; at < text.size(); at = text.find(',', at) + 1) {
        poses.push_back(std::atoi(text.c_str() + at));
        if (text.find(',', at) == std::string::npos) {
            break;
        }
    }
    return poses;
}

int agree(const std::string& soft_dir, const std::string& gl_dir, const std::string& on, const std::string& off,
          const std::vector<int>& poses, double minimum)
{
    bool failed = poses.empty();
    double lowest = 1.0;
    for (const int p : poses) {
        const Mask s = mask_of(soft_dir, on, off, p);
        const Mask g = mask_of(gl_dir, on, off, p);
        if (!s.valid() || !g.valid() || s.width != g.width || s.height != g.height) {
            return 1;
        }
        if (s.count == 0 || g.count == 0) {
            std::printf("pose %d: no mesh drawn (software %lld pixels, OpenGL %lld)\n", p, s.count, g.count);
            failed = true;
            continue;
        }
        const double agreement = share(s, g);
        lowest = std::min(lowest, agreement);
        std::printf("pose %d: mesh pixels software %lld, OpenGL %lld, both %lld: %.4f%% of the larger mask\n", p,
                    s.count, g.count, shared(s, g), 100.0 * agreement);
        if (s.touches_border || g.touches_border) {
            std::printf("  the mesh reaches the frame's border (software %d, OpenGL %d)\n", s.touches_border ? 1 : 0,
                        g.touches_border ? 1 : 0);
            failed = true;
        }
        if (agreement < minimum) {
            const std::string path = gl_dir + "/mesh_masks_" + on + "_" + std::to_string(p) + ".bmp";
            save_masks(path, s, g);
            std::printf("  masks in %s\n", path.c_str());
            failed = true;
        }
    }
    std::printf("mesh coverage agreement: lowest %.4f%% (at least %.2f%% wanted at every pose)\n", 100.0 * lowest,
                100.0 * minimum);
    return failed ? 1 : 0;
}

int moved(const std::string& dir, const std::string& on_a, const std::string& off_a, int pose_a, const std::string& on_b,
          const std::string& off_b, int pose_b, long long minimum)
{
    const Mask a = mask_of(dir, on_a, off_a, pose_a);
    const Mask b = mask_of(dir, on_b, off_b, pose_b);
    if (!a.valid() || !b.valid() || a.width != b.width || a.height != b.height || a.count == 0 || b.count == 0) {
        std::printf("%s: a mask is missing or empty\n", dir.c_str());
        return 1;
    }
    const long long both = shared(a, b);
    std::printf("%s: %s/%d %lld pixels centred at (%.1f, %.1f), %s/%d %lld pixels at (%.1f, %.1f); %lld and %lld in "
                "one only (at least %lld wanted)\n",
                dir.c_str(), on_a.c_str(), pose_a, a.count, a.cx, a.cy, on_b.c_str(), pose_b, b.count, b.cx, b.cy,
                a.count - both, b.count - both, minimum);
    return a.count - both >= minimum && b.count - both >= minimum ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: pair_mesh agree SOFT_DIR GL_DIR ON OFF POSES MIN_SHARE\n"
                         "       pair_mesh moved DIR ON_A OFF_A POSE_A ON_B OFF_B POSE_B MIN_PIXELS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "agree" && argc == 8) {
        return agree(argv[2], argv[3], argv[4], argv[5], pose_list(argv[6]), std::atof(argv[7]));
    }
    if (mode == "moved" && argc == 10) {
        return moved(argv[2], argv[3], argv[4], std::atoi(argv[5]), argv[6], argv[7], std::atoi(argv[8]),
                     std::atoll(argv[9]));
    }
    return usage();
}
