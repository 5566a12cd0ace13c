#include "tools/wav/demo_sounds.h"

#include "tools/fsys/write_bytes.h"
#include "tools/wav/wav_writer.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace tools {

namespace {

constexpr double RATE = DEMO_SOUND_RATE;

std::vector<int16_t> render(double seconds, const std::function<double(double t, double u)>& wave)
{
    const auto frames = static_cast<size_t>(seconds * RATE);
    std::vector<int16_t> out;
    out.reserve(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / RATE;
        const double v = std::fmax(-1.0, std::fmin(1.0, wave(t, t / seconds)));
        out.push_back(static_cast<int16_t>(std::lround(v * 30000.0)));
    }
    return out;
}

double tone(double hz, double t) { return std::sin(2.0 * M_PI * hz * t); }

// Noise from a fixed seed, the same on every run.
class Noise {
public:
    double next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(static_cast<int32_t>(state_)) / 2147483648.0;
    }

private:
    uint32_t state_ = 12345u;
};

} // namespace

std::vector<DemoSound> demo_sounds()
{
    std::vector<DemoSound> sounds;
    // A machine's hum: whole periods of every partial in its two seconds, so
    // that the loop joins without a click; the beat of 110 and 112 Hz makes it throb.
    sounds.push_back({"hum.wav", render(2.0, [](double t, double) {
                          return 0.35 * tone(110.0, t) + 0.25 * tone(112.0, t) + 0.15 * tone(220.0, t) +
                                 0.08 * tone(330.5, t);
                      }),
                      true});
    // A footstep: a low thump under a short scrape of filtered noise.
    Noise step_noise;
    double low = 0.0;
    sounds.push_back({"step.wav", render(0.16, [&](double t, double u) {
                          low += (step_noise.next() - low) * 0.2;
                          return (0.7 * tone(70.0 - 30.0 * u, t) + 0.6 * low) * std::exp(-6.0 * u);
                      })});
    // The door: a falling, grinding sweep.
    Noise door_noise;
    double grind = 0.0;
    sounds.push_back({"door.wav", render(0.7, [&](double t, double u) {
                          grind += (door_noise.next() - grind) * 0.05;
                          const double hz = 160.0 - 90.0 * u;
                          return (0.5 * tone(hz, t) * tone(3.0, t) + 0.5 * grind) * std::sin(M_PI * u);
                      })});
    // A chime: three inharmonic partials, each decaying at its own rate.
    sounds.push_back({"chime.wav", render(0.9, [](double t, double u) {
                          return 0.5 * tone(880.0, t) * std::exp(-4.0 * u) + 0.3 * tone(2209.0, t) * std::exp(-7.0 * u) +
                                 0.2 * tone(3951.0, t) * std::exp(-10.0 * u);
                      })});
    return sounds;
}

bool write_demo_sounds(const std::string& base)
{
    const std::filesystem::path dir = std::filesystem::path(base) / "sounds";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const DemoSound& s : demo_sounds()) {
        std::vector<WavChunk> chunks = {wav_fmt_pcm(1, DEMO_SOUND_RATE, 16), wav_data(wav_samples16(s.samples))};
        if (s.loop) {
            chunks.push_back(wav_cue({{0, 0}, {0, static_cast<uint32_t>(s.samples.size())}}));
        }
        const std::string path = (dir / s.name).string();
        if (ec || !write_bytes(path.c_str(), wav_file(chunks))) {
            std::fprintf(stderr, "demo_sounds: can't write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}

} // namespace tools
