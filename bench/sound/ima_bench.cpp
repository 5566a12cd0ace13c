// IMA ADPCM decoding speed, the engine's codec beside sox decoding the same
// files in the same run. Prints "name value unit" lines:
//   bench_ima [seconds of audio, default 120]
// Needs sox (it writes the files and is the peer).
#include "fsys/fsys.h"
#include "sound/sc_codec.h"
#include "sound/sc_sample.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int RUNS = 3;
constexpr int32_t CHUNK_FRAMES = 4096;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

bool run(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

// Best of RUNS whole-file decodes by the engine; 0 on failure.
double engine_seconds(const char* name, int64_t* samples)
{
    SCSample s;
    s.stream = fsys->open(name, FSYS_BINARY);
    if (s.stream == nullptr) {
        return 0.0;
    }
    uint8_t header[1024];
    const int32_t n = static_cast<int32_t>(s.stream->read(header, 1, sizeof header));
    SCCodec* const codec = sc_codec_table[SC_CODEC_WAV];
    if (!codec->parse(&s, header, n)) {
        s.stream->close();
        return 0.0;
    }
    std::vector<int16_t> left(CHUNK_FRAMES);
    std::vector<int16_t> right(CHUNK_FRAMES);
    const SCDest dests[] = {{0, left.data()}, {1, right.data()}, {SC_END_OF_LIST, nullptr}};
    const SCDest mono[] = {{0, left.data()}, {SC_END_OF_LIST, nullptr}};
    double best = 1e30;
    for (int r = 0; r < RUNS; ++r) {
        const Clock::time_point t = Clock::now();
        for (int32_t at = 0; at < s.frames;) {
            const int32_t got = codec->load(&s, at, CHUNK_FRAMES, s.channels == 2 ? dests : mono);
            if (got <= 0) {
                break;
            }
            at += got;
        }
        best = std::min(best, seconds_since(t));
    }
    *samples = static_cast<int64_t>(s.frames) * s.channels;
    codec->release(&s);
    s.stream->close();
    return best;
}

// Best of RUNS decodes of the same file by sox, output discarded.
double sox_seconds(const std::string& path)
{
    double best = 1e30;
    for (int r = 0; r < RUNS; ++r) {
        const Clock::time_point t = Clock::now();
        if (!run("sox '" + path + "' -t raw -e signed -b 16 /dev/null")) {
            return 0.0;
        }
        best = std::min(best, seconds_since(t));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 120;
    if (!run("command -v sox")) {
        std::fprintf(stderr, "bench_ima: sox is not installed\n");
        return 1;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "ostrel_bench_ima";
    std::filesystem::create_directories(dir);
    FSys files;
    files.init();
    files.mount(dir.string().c_str(), 1, 0);
    fsys = &files;
    struct Case {
        const char* name;
        int rate;
        int channels;
    };
    const Case cases[] = {{"mono_22050", 22050, 1}, {"stereo_44100", 44100, 2}};
    int status = 0;
    for (const Case& c : cases) {
        const std::string pcm = (dir / "pcm.wav").string();
        const std::string file = std::string(c.name) + ".wav";
        const std::string ima = (dir / file).string();
        if (!run("sox -n -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) + " -b 16 '" + pcm +
                 "' synth " + std::to_string(seconds) + " sine 300-5000 pinknoise vol 0.7") ||
            !run("sox '" + pcm + "' -e ima-adpcm '" + ima + "'")) {
            std::fprintf(stderr, "bench_ima: sox could not write %s\n", file.c_str());
            status = 1;
            continue;
        }
        int64_t samples = 0;
        const double ours = engine_seconds(file.c_str(), &samples);
        const double theirs = sox_seconds(ima);
        if (ours <= 0.0 || theirs <= 0.0) {
            std::fprintf(stderr, "bench_ima: decoding %s failed\n", file.c_str());
            status = 1;
            continue;
        }
        std::printf("ima_decode_engine_%s %.1f Msamples/s\n", c.name, samples / ours / 1e6);
        std::printf("ima_decode_sox_%s %.1f Msamples/s\n", c.name, samples / theirs / 1e6);
        std::printf("ima_decode_engine_over_sox_%s %.2f x\n", c.name, theirs / ours);
    }
    files.close();
    fsys = nullptr;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
