// The modules shipped by Debian's game packages: each loads, and the songs
// that use only the effects this player plays and end by wrapping have the
// length both peers print and sound like xmp's rendering of them.
#include "tests/sound/module_fixture.h"
#include "tests/sound/sound_files.h"
#include "tools/sound/module_render.h"
#include "support/skip_or_fail.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct RealModule {
    const char* package;
    const char* path;
    // Uses only kept effects and ends by wrapping: length and sound are held
    // to the peers'. Otherwise the figures are printed.
    bool held;
    int loader;  // 0 IT, 1 XM, 2 S3M
    const char* why;
};

const RealModule MODULES[] = {
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common00.it", true, 0, "breaks only"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common01.it", false, 0, "vibrato, arpeggio"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common02.it", true, 0, "breaks only"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common03.it", true, 0, "no effects"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common04.it", true, 0, "no effects"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common05.it", false, 0, "sample offset, volume-column vibrato"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common06.it", true, 0, "breaks only"},
    {"biniax2-data", "usr/share/games/biniax2/music/biniax_common07.it", false, 0, "arpeggio"},
    {"penguin-command", "usr/share/games/penguin-command/sound/datajack.s3m", false, 2, "vibrato, arpeggio, loops back"},
    {"penguin-command", "usr/share/games/penguin-command/sound/icefront.s3m", false, 2, "vibrato, sample offset"},
    {"penguin-command", "usr/share/games/penguin-command/sound/ramagard.s3m", false, 2, "sample offset, retrigger, loops back"},
    {"solarwolf", "usr/share/games/solarwolf/data/music/arg.xm", false, 1, "sample offset"},
    {"solarwolf", "usr/share/games/solarwolf/data/music/aster2_sw.xm", false, 1, "volume-column panning"},
};

constexpr int32_t RATE = 44100;
constexpr double MAX_SECONDS = 600.0;

std::string cache_dir()
{
    const char* const bin = std::getenv("OSTREL_BINARY_DIR");
    return std::string(bin != nullptr ? bin : ".") + "/game-data";
}

std::string run(const std::string& cmd)
{
    std::string out;
    if (std::FILE* const p = popen(cmd.c_str(), "r"); p != nullptr) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p) != nullptr) {
            out += buf;
        }
        pclose(p);
    }
    return out;
}

bool have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// openmpt123's "Duration...: mm:ss.mmm"; -1 when missing.
double openmpt_seconds(const std::string& file)
{
    const std::string out = run("openmpt123 --info '" + file + "' 2>&1");
    const size_t at = out.find("Duration...:");
    int m = 0;
    double s = 0.0;
    if (at == std::string::npos || std::sscanf(out.c_str() + at + 12, " %d:%lf", &m, &s) != 2) {
        return -1.0;
    }
    return m * 60 + s;
}

// 16-bit stereo frames of a WAV file's data chunk, read straight into place
// (a render is tens of megabytes).
std::vector<int16_t> read_wav(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> out;
    in.seekg(12);
    uint8_t head[8];
    for (int chunk = 0; chunk < 64 && in.read(reinterpret_cast<char*>(head), sizeof head); ++chunk) {
        const uint32_t size = uint32_t(head[4]) | uint32_t(head[5]) << 8 | uint32_t(head[6]) << 16 |
                              uint32_t(head[7]) << 24;
        if (std::memcmp(head, "data", 4) == 0) {
            out.resize(size / 2);
            in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size() * 2));
            out.resize(static_cast<size_t>(in.gcount()) / 2);
            break;
        }
        in.seekg(size + (size & 1), std::ios::cur);
    }
    return out;
}

// Xmp's rendering of the file; empty without xmp.
std::vector<int16_t> xmp_render(const std::string& file, const std::string& wav)
{
    run("xmp -q --nocmd --norc -f 44100 -i linear -o '" + wav + "' '" + file + "' >/dev/null 2>&1");
    std::vector<int16_t> out = read_wav(wav);
    std::remove(wav.c_str());
    return out;
}

// RMS over 20 ms windows of the mono mix, after removing the DC.
std::vector<double> envelope(const std::vector<int16_t>& stereo)
{
    const size_t frames = stereo.size() / 2;
    double mean = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        mean += double(stereo[2 * i]) + stereo[2 * i + 1];
    }
    mean /= frames > 0 ? double(frames) : 1.0;
    const size_t window = RATE / 50;
    std::vector<double> out;
    for (size_t w = 0; w + window <= frames; w += window) {
        double sum = 0.0;
        for (size_t i = w; i < w + window; ++i) {
            const double v = double(stereo[2 * i]) + stereo[2 * i + 1] - mean;
            sum += v * v;
        }
        out.push_back(std::sqrt(sum / window));
    }
    return out;
}

// Pearson correlation: gain and offset do not count.
double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) {
        return 0.0;
    }
    double ma = 0.0;
    double mb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= n;
    mb /= n;
    double ab = 0.0;
    double aa = 0.0;
    double bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The song's length as the player steps it: the ticks before the one that ended it.
double player_seconds(const std::string& file, bool& ended)
{
    ModuleRig rig;
    rig.device.reuse_stopped = true;
    if (rig.load_file(file) == nullptr) {
        ended = false;
        return -1.0;
    }
    rig.player->set_loop(0);
    rig.player->start();
    double seconds = 0.0;
    while (seconds < MAX_SECONDS) {
        const double tick = 1.0 / (rig.player->tempo() * 0.4);
        rig.player->timer_tick();
        if (rig.player->is_finished() != 0) {
            break;
        }
        seconds += tick;
    }
    ended = rig.player->is_finished() != 0;
    return seconds;
}

class RealModules : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* p : {"biniax2-data", "penguin-command", "solarwolf"}) {
            if (game_package(p).empty()) {
                GTEST_SKIP() << "the Debian package " << p << " cannot be downloaded";
            }
        }
    }
    std::string file(const RealModule& m) const { return (game_package(m.package) / m.path).string(); }
};

TEST_F(RealModules, EveryFileLoadsAndStarts)
{
    for (const RealModule& m : MODULES) {
        ModuleRig rig;
        rig.device.reuse_stopped = true;
        ModulePlayer* const p = rig.load_file(file(m));
        ASSERT_NE(p, nullptr) << m.path;
        p->start();
        EXPECT_EQ(p->state() & MODP_STOPPED, 0u) << m.path;
        EXPECT_GT(p->module().order_count, 0) << m.path;
        EXPECT_EQ(p->loader(), m.loader) << m.path;
        // The name the probe finds is the name the player gives.
        std::ifstream in(file(m), std::ios::binary);
        uint8_t head[4096] = {};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        SongInfo probed;
        SongInfo info;
        EXPECT_EQ(module_probe(nullptr, head, int32_t(in.gcount()), &probed), 1) << m.path;
        p->get_info(&info);
        EXPECT_EQ(info.kind, SONG_KIND_MODULE);
        EXPECT_STREQ(info.name, probed.name) << m.path;
    }
}

TEST_F(RealModules, LengthsMatchBothPeers)
{
    if (!have("xmp") || !have("openmpt123")) {
        SKIP_OR_FAIL("xmp and openmpt123 are needed (scripts/deps.sh installs them)");
    }
    for (const RealModule& m : MODULES) {
        bool ended = false;
        const double ours = player_seconds(file(m), ended);
        const double openmpt = openmpt_seconds(file(m));
        const std::vector<int16_t> x = xmp_render(file(m), cache_dir() + "/xmp_length.wav");
        const double xmp = double(x.size() / 2) / RATE;
        std::printf("length %-22s ours %8.3f%s  xmp %8.3f  openmpt123 %8.3f\n", m.path + std::string(m.path).rfind('/') + 1,
                    ours, ended ? " " : "+", xmp, openmpt);
        if (!m.held) {
            continue;
        }
        // Two ticks at tempo 125.
        EXPECT_TRUE(ended) << m.path;
        EXPECT_NEAR(ours, openmpt, 0.04) << m.path;
        EXPECT_NEAR(ours, xmp, 0.04) << m.path;
    }
}

TEST_F(RealModules, SoundLikeXmp)
{
    if (!have("xmp")) {
        SKIP_OR_FAIL("xmp is needed (scripts/deps.sh installs it)");
    }
    // One buffer for every song: its pages are touched once, not per song.
    std::vector<int16_t> ours;
    for (const RealModule& m : MODULES) {
        tools::ModuleRender render;
        ASSERT_TRUE(render.open(file(m).c_str(), RATE, 0.5f)) << m.path;
        ours.clear();
        while (!render.finished() && render.seconds() < MAX_SECONDS) {
            render.render(ours, RATE);
        }
        const std::vector<int16_t> theirs = xmp_render(file(m), cache_dir() + "/xmp_sound.wav");
        const double r = correlation(envelope(ours), envelope(theirs));
        std::printf("correlation %-22s %.3f %s\n", m.path + std::string(m.path).rfind('/') + 1, r,
                    m.held ? "" : m.why);
        if (m.held) {
            EXPECT_GE(r, 0.9) << m.path;
        }
    }
}

} // namespace
