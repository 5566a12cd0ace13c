// Reads any bytes as a WAV file: the codec's parse, then loads of frame
// ranges of every channel, as the sample cache and the stream player do; the
// frames loaded in one piece and in many small ones are the same.
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "sound/sc_codec.h"
#include "sound/sc_sample.h"
#include "sound/stream_player.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int32_t CHUNK_FRAMES = 4096;
constexpr int CHUNKS = 16;

void load_ranges(SCSample& s)
{
    std::vector<std::vector<uint8_t>> buffers(2, std::vector<uint8_t>(static_cast<size_t>(CHUNK_FRAMES) * 2));
    const SCDest both[] = {{0, buffers[0].data()}, {1, buffers[1].data()}, {SC_END_OF_LIST, nullptr}};
    const SCDest first[] = {{0, buffers[0].data()}, {SC_END_OF_LIST, nullptr}};
    const SCDest* const dests = s.channels >= 2 ? both : first;
    // From the start, around a loop, and at the end, as the players ask.
    const int32_t starts[] = {0, s.loop_start, std::max(0, s.loop_end - 100), std::max(0, s.frames - 100)};
    for (const int32_t start : starts) {
        int32_t at = start;
        for (int i = 0; i < CHUNKS && at < s.frames; ++i) {
            const int32_t got = s.codec->load(&s, at, CHUNK_FRAMES, dests);
            if (got <= 0) {
                break;
            }
            at += got;
        }
    }
}

// Frames from `first` on in loads of the given sizes, taken in turn, until
// a load gives none: the bytes of each channel.
std::vector<std::vector<uint8_t>> load_in_pieces(SCSample& s, const std::vector<int32_t>& sizes)
{
    std::vector<std::vector<uint8_t>> out(static_cast<size_t>(s.channels));
    std::vector<std::vector<uint8_t>> piece(static_cast<size_t>(s.channels));
    std::vector<SCDest> dests;
    int32_t at = 0;
    for (size_t i = 0; at < s.frames; ++i) {
        const int32_t count = std::min(sizes[i % sizes.size()], s.frames - at);
        dests.clear();
        for (int32_t c = 0; c < s.channels; ++c) {
            piece[static_cast<size_t>(c)].assign(static_cast<size_t>(count * s.bytes), 0);
            dests.push_back({c, piece[static_cast<size_t>(c)].data()});
        }
        dests.push_back({SC_END_OF_LIST, nullptr});
        const int32_t got = s.codec->load(&s, at, count, dests.data());
        if (got <= 0) {
            break;
        }
        if (got > count) {
            __builtin_trap();
        }
        for (int32_t c = 0; c < s.channels; ++c) {
            const std::vector<uint8_t>& p = piece[static_cast<size_t>(c)];
            out[static_cast<size_t>(c)].insert(out[static_cast<size_t>(c)].end(), p.begin(), p.begin() + got * s.bytes);
        }
        at += got;
    }
    return out;
}

// The whole sample at once and in pieces of odd sizes give the same frames.
void check_pieces(SCSample& s)
{
    if (s.frames <= 0 || s.frames > (1 << 16) || s.channels < 1 || s.channels > SC_MAX_CHANNELS ||
        (s.bytes != 1 && s.bytes != 2)) {
        return;
    }
    if (load_in_pieces(s, {s.frames}) != load_in_pieces(s, {1, 7, 64, 3, 1000})) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FSys files;
    static std::string folder;
    const std::string name = fuzz::scratch_name(".wav");
    if (folder.empty()) {
        folder = std::filesystem::path(name).parent_path().string();
        files.init();
        files.mount(folder.c_str(), 1, 0);
        fsys = &files;
    }
    if (!fuzz::write_scratch(name, data, size)) {
        return 0;
    }
    const std::string file = std::filesystem::path(name).filename().string();
    for (int codec = 0; codec < SC_CODECS; ++codec) {
        FileStream* const f = fsys->open(file.c_str(), FSYS_BINARY);
        if (f == nullptr) {
            return 0;
        }
        SCSample s;
        s.stream = f;
        if (sc_codec_table[codec]->parse(&s, data, static_cast<int32_t>(std::min<size_t>(size, 1024)))) {
            s.codec = sc_codec_table[codec];
            load_ranges(s);
            check_pieces(s);
            s.codec->release(&s);
        }
        f->close();
    }
    FileStream* const f = fsys->open(file.c_str(), FSYS_BINARY);
    if (f != nullptr) {
        stream_player_detect(f, data, static_cast<int32_t>(std::min<size_t>(size, 4096)), nullptr);
        f->close();
    }
    return 0;
}
