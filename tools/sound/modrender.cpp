// ostrel_modrender FILE -o out.wav [-r rate] [-s seconds] [-v volume]
// Plays an IT, XM or S3M module through the engine's loaders, player and
// mixer into a 16-bit stereo WAV file, to the song's end or for the seconds
// given, as fast as the CPU allows, and prints the song's length.
#include "core/print.h"
#include "tools/sound/module_render.h"
#include "tools/wav/wav_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The loaders' warnings and errors (the reason a file is refused) go to
// stderr with the tool's own.
void to_stderr(int, const char* text, uintptr_t)
{
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
}

} // namespace

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
    set_stream_handler(P_WARNING, to_stderr, 0);
    set_stream_handler(P_ERROR, to_stderr, 0);
    tools::ModuleRender render;
    if (!render.open(input, rate, volume)) {
        std::fprintf(stderr, "ostrel_modrender: can't play '%s'\n", input);
        return 1;
    }
    // Written a second at a time, so that a long song never sits whole in memory.
    tools::WavStream wav;
    bool written = wav.open(output, 2, uint32_t(rate));
    std::vector<int16_t> block;
    block.reserve(size_t(rate) * 2);
    const int64_t limit = int64_t(seconds * rate);
    for (int64_t frames = 0; written && !render.finished() && frames < limit;) {
        block.clear();
        frames += render.render(block, int32_t(std::min<int64_t>(rate, limit - frames)));
        written = wav.write(block);
    }
    if (!wav.close() || !written) {
        std::fprintf(stderr, "ostrel_modrender: can't write '%s'\n", output.c_str());
        return 1;
    }
    std::printf("%s: %.3f s%s\n", input, render.seconds(), render.finished() ? "" : " (cut)");
    return 0;
}
