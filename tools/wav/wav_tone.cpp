// wav_tone: writes a 16-bit PCM sine as a WAV file, looping over the whole
// tone when asked (cue points at both ends).
//   wav_tone output.wav [rate] [channels] [hz] [seconds] [loop]
#include "tools/fsys/write_bytes.h"
#include "tools/wav/wav_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: wav_tone output.wav [rate] [channels] [hz] [seconds] [loop]\n");
        return 2;
    }
    const long rate = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 22050;
    const long channels = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 1;
    const double hz = argc > 4 ? std::strtod(argv[4], nullptr) : 440.0;
    const double seconds = argc > 5 ? std::strtod(argv[5], nullptr) : 1.0;
    const bool loop = argc > 6 && std::strcmp(argv[6], "loop") == 0;
    if (rate < 1000 || rate > 192000 || channels < 1 || channels > 2 || !(seconds > 0.0 && seconds <= 600.0)) {
        std::fprintf(stderr, "wav_tone: rate 1000..192000, 1 or 2 channels, 0..600 seconds\n");
        return 2;
    }
    const long frames = static_cast<long>(seconds * static_cast<double>(rate));
    std::vector<int16_t> samples;
    samples.reserve(static_cast<size_t>(frames * channels));
    for (long i = 0; i < frames; ++i) {
        const double v = std::sin(2.0 * M_PI * hz * static_cast<double>(i) / static_cast<double>(rate));
        for (long c = 0; c < channels; ++c) {
            samples.push_back(static_cast<int16_t>(std::lrint(v * 16000.0)));
        }
    }
    std::vector<tools::WavChunk> chunks = {tools::wav_fmt_pcm(static_cast<uint16_t>(channels), static_cast<uint32_t>(rate), 16),
                                           tools::wav_data(tools::wav_samples16(samples))};
    if (loop) {
        chunks.push_back(tools::wav_cue({{0, 0}, {0, static_cast<uint32_t>(frames)}}));
    }
    if (!tools::write_bytes(argv[1], tools::wav_file(chunks))) {
        std::fprintf(stderr, "wav_tone: can't write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
