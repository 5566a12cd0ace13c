// Each module of Debian's game packages played to its end on the mixer with
// a null sink, beside xmp and openmpt123 rendering the same file in the same
// run: CPU seconds per second of audio, one "name value unit" line each. The
// "_process" rows time the whole ostrel_modrender process writing the WAV
// file (start-up, loading, mixing, writing), as the peers' rows do.
// Usage: bench_modules [cache directory] (default build/game-data).
#include "tools/sound/module_render.h"

#include <sys/resource.h>
#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const MODULES[] = {
    "biniax2-data/usr/share/games/biniax2/music/biniax_common00.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common01.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common02.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common03.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common04.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common05.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common06.it",
    "biniax2-data/usr/share/games/biniax2/music/biniax_common07.it",
    "penguin-command/usr/share/games/penguin-command/sound/datajack.s3m",
    "penguin-command/usr/share/games/penguin-command/sound/icefront.s3m",
    "penguin-command/usr/share/games/penguin-command/sound/ramagard.s3m",
    "solarwolf/usr/share/games/solarwolf/data/music/arg.xm",
    "solarwolf/usr/share/games/solarwolf/data/music/aster2_sw.xm",
};

constexpr int32_t RATE = 44100;
constexpr int32_t BLOCK = 4096;
// Songs that loop back for ever stop here, as the peers' own loop detection stops them near it.
constexpr double LIMIT_SECONDS = 300.0;

double cpu(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Our CPU seconds and audio seconds for one song.
bool ours(const std::string& path, double& cpu_seconds, double& audio_seconds)
{
    const double start = cpu(RUSAGE_SELF);
    FSys fs;
    fs.mount("", 1, 0);
    tools::RenderMixer mixer;
    SDSettings settings;
    settings.rate = RATE;
    settings.channels = 128;
    settings.flags = SDF_STEREO | SDF_16BIT | SDF_INTERPOLATE;
    if (mixer.init(&settings) != 1) {
        return false;
    }
    ModulePlayer* const player = tools::open_module(fs, &mixer, path.c_str());
    if (player == nullptr) {
        return false;
    }
    player->set_loop(0);
    player->start();
    std::vector<int16_t> sink(size_t(BLOCK) * 2);
    int64_t frames = 0;
    while (player->is_finished() == 0 && frames < int64_t(LIMIT_SECONDS * RATE)) {
        mixer.render(sink.data(), BLOCK * 4);
        frames += BLOCK;
    }
    delete player;
    mixer.shutdown();
    cpu_seconds = cpu(RUSAGE_SELF) - start;
    audio_seconds = double(frames) / RATE;
    return true;
}

// A peer's CPU seconds (user and system, its whole process).
double peer(const std::string& command)
{
    const double start = cpu(RUSAGE_CHILDREN);
    if (std::system(command.c_str()) != 0) {
        return -1.0;
    }
    return cpu(RUSAGE_CHILDREN) - start;
}

// Seconds of 16-bit stereo audio in a WAV file that a peer wrote.
double wav_seconds(const std::string& path)
{
    std::FILE* const f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return 0.0;
    }
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size > 44 ? double(size - 44) / 4.0 / RATE : 0.0;
}

std::string base_name(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : "build/game-data";
    const std::string fetch = "scripts/fetch_game_data.sh '" + dir + "' biniax2-data penguin-command solarwolf";
    if (std::system(fetch.c_str()) != 0) {
        std::fprintf(stderr, "bench_modules: the Debian packages cannot be had\n");
        return 1;
    }
    const std::string scratch = dir + "/bench_scratch";
    double total_ours = 0.0;
    double total_xmp = 0.0;
    double total_openmpt = 0.0;
    double total_audio = 0.0;
    double total_audio_xmp = 0.0;
    double total_audio_openmpt = 0.0;
    double total_process = 0.0;
    double total_audio_process = 0.0;
    for (const char* const m : MODULES) {
        const std::string path = dir + "/" + m;
        const std::string name = base_name(path);
        double cpu_ours = 0.0;
        double audio = 0.0;
        if (!ours(path, cpu_ours, audio)) {
            std::printf("%s_ostrel failed -\n", name.c_str());
            continue;
        }
        const double cpu_xmp = peer("xmp -q --nocmd --norc -f 44100 -i linear -o '" + scratch + ".wav' '" + path +
                                    "' >/dev/null 2>&1");
        std::system(("cp '" + path + "' '" + scratch + "." + name + "'").c_str());
        const double cpu_openmpt = peer("openmpt123 --render --samplerate 44100 --no-float --force --output-type wav '" +
                                        scratch + "." + name + "' >/dev/null 2>&1");
#ifdef OSTREL_MODRENDER
        const std::string ours_wav = scratch + ".ostrel.wav";
        const double cpu_process = peer(std::string("'") + OSTREL_MODRENDER + "' '" + path + "' -o '" + ours_wav +
                                        "' -s " + std::to_string(int(LIMIT_SECONDS)) + " >/dev/null 2>&1");
        const double audio_process = wav_seconds(ours_wav);
        std::remove(ours_wav.c_str());
#else
        const double cpu_process = -1.0;
        const double audio_process = 0.0;
#endif
        const double audio_xmp = wav_seconds(scratch + ".wav");
        const double audio_openmpt = wav_seconds(scratch + "." + name + ".wav");
        std::remove((scratch + ".wav").c_str());
        std::remove((scratch + "." + name).c_str());
        std::remove((scratch + "." + name + ".wav").c_str());
        if (audio_xmp <= 0.0 || audio_openmpt <= 0.0) {
            std::printf("%s_peers failed -\n", name.c_str());
            continue;
        }
        std::printf("%s_audio %.3f s\n", name.c_str(), audio);
        std::printf("%s_ostrel %.6f cpu_s_per_audio_s\n", name.c_str(), cpu_ours / audio);
        if (cpu_process >= 0.0 && audio_process > 0.0) {
            std::printf("%s_ostrel_process %.6f cpu_s_per_audio_s\n", name.c_str(), cpu_process / audio_process);
            total_process += cpu_process;
            total_audio_process += audio_process;
        } else {
            std::printf("%s_ostrel_process failed -\n", name.c_str());
        }
        std::printf("%s_xmp %.6f cpu_s_per_audio_s\n", name.c_str(), cpu_xmp / audio_xmp);
        std::printf("%s_openmpt123 %.6f cpu_s_per_audio_s\n", name.c_str(), cpu_openmpt / audio_openmpt);
        total_ours += cpu_ours;
        total_xmp += cpu_xmp;
        total_openmpt += cpu_openmpt;
        total_audio += audio;
        total_audio_xmp += audio_xmp;
        total_audio_openmpt += audio_openmpt;
    }
    std::printf("all_ostrel %.6f cpu_s_per_audio_s\n", total_ours / total_audio);
    if (total_audio_process > 0.0) {
        std::printf("all_ostrel_process %.6f cpu_s_per_audio_s\n", total_process / total_audio_process);
    }
    std::printf("all_xmp %.6f cpu_s_per_audio_s\n", total_xmp / total_audio_xmp);
    std::printf("all_openmpt123 %.6f cpu_s_per_audio_s\n", total_openmpt / total_audio_openmpt);
    return 0;
}
