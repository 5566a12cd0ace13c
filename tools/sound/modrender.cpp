// ostrel_modrender FILE -o out.wav [-r rate] [-s seconds] [-v volume]
// Plays an IT, XM or S3M module through the engine's loaders, player and
// mixer into a 16-bit stereo WAV file, to the song's end or for the seconds
// given, as fast as the CPU allows, and prints the song's length.
#include "tools/sound/module_render.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    const char* input = nullptr;
    std::string output = "out.wav";
    int32_t rate = 44100;
    double seconds = 600.0;
    float volume = 1.0f;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (std::strcmp(argv[i], "-o") == 0 && more) {
            output = argv[++i];
        } else if (std::strcmp(argv[i], "-r") == 0 && more) {
            rate = int32_t(std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "-s") == 0 && more) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "-v") == 0 && more) {
            volume = float(std::atof(argv[++i]));
        } else if (argv[i][0] != '-' && input == nullptr) {
            input = argv[i];
        } else {
            input = nullptr;
            break;
        }
    }
    if (input == nullptr || rate < 256 || rate > 262144 || !(seconds > 0.0) || !(volume > 0.0f)) {
        std::fprintf(stderr, "usage: ostrel_modrender FILE -o out.wav [-r rate] [-s seconds] [-v volume]\n");
        return 2;
    }
    tools::ModuleRender render;
    if (!render.open(input, rate, volume)) {
        std::fprintf(stderr, "ostrel_modrender: can't play '%s'\n", input);
        return 1;
    }
    std::vector<int16_t> frames;
    const int64_t limit = int64_t(seconds * rate);
    while (!render.finished() && int64_t(frames.size() / 2) < limit) {
        render.render(frames, int32_t(std::min<int64_t>(rate, limit - int64_t(frames.size() / 2))));
    }
    if (!tools::write_wav(output, frames, rate)) {
        std::fprintf(stderr, "ostrel_modrender: can't write '%s'\n", output.c_str());
        return 1;
    }
    std::printf("%s: %.3f s%s\n", input, render.seconds(), render.finished() ? "" : " (cut)");
    return 0;
}
