#pragma once
// Helpers of the tests that read sound files: a scratch directory mounted in
// the file system, the Debian game packages fetched into the build folder,
// the sox peer, and whole-file decoding through a codec.
#include "core/config_variable.h"
#include "fsys/fsys.h"
#include "sound/sc_codec.h"
#include "sound/sc_sample.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

inline bool run_command(const std::string& command)
{
    return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

inline bool have_sox()
{
    static const bool found = run_command("command -v sox") && run_command("command -v soxi");
    return found;
}

inline std::vector<uint8_t> read_host_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool write_host_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The unpacked package under the build folder, fetched on first use; empty
// when it cannot be downloaded (the caller skips and says why).
inline std::filesystem::path game_package(const std::string& package)
{
    const char* const binary = std::getenv("OSTREL_BINARY_DIR");
    const char* const source = std::getenv("OSTREL_SOURCE_DIR");
    if (binary == nullptr || source == nullptr) {
        return {};
    }
    const std::filesystem::path cache = std::filesystem::path(binary) / "game-data";
    const std::filesystem::path root = cache / package;
    if (!std::filesystem::exists(root / ".complete")) {
        run_command(std::string(source) + "/scripts/fetch_game_data.sh '" + cache.string() + "' " + package);
    }
    return std::filesystem::exists(root / ".complete") ? root : std::filesystem::path{};
}

// Every .wav file of the three packages, with the package's name; empty
// names the first package that could not be fetched.
struct GameWav {
    std::string package;
    std::filesystem::path path;
};
inline std::vector<GameWav> game_wavs(std::string* missing)
{
    std::vector<GameWav> all;
    for (const char* p : {"penguin-command", "solarwolf", "biniax2-data"}) {
        const std::filesystem::path root = game_package(p);
        if (root.empty()) {
            *missing = p;
            return {};
        }
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            std::string ext = e.path().extension().string();
            for (char& c : ext) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (e.is_regular_file() && ext == ".wav") {
                all.push_back({p, e.path()});
            }
        }
    }
    std::sort(all.begin(), all.end(), [](const GameWav& a, const GameWav& b) { return a.path < b.path; });
    return all;
}

#define SKIP_WITHOUT_GAME_DATA(missing)                                                                        \
    GTEST_SKIP() << "the Debian package " << (missing)                                                        \
                 << " could not be downloaded (apt-get download failed), so its WAV files are not tested"

// A scratch directory mounted as the file system, a variable list and the prints.
class SoundFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_list_ = cvar_list;
        cvar_list = &variables_;
        capture.show_all();
        std::random_device seed;
        dir = std::filesystem::temp_directory_path() /
              ("ostrel_sound_" + std::to_string(seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir / "sounds");
        previous_fsys_ = fsys;
        fsys = &files_;
        files_.init();
        ASSERT_EQ(files_.mount(dir.string().c_str(), 1, 0), 1);
    }
    void TearDown() override
    {
        files_.close();
        fsys = previous_fsys_;
        cvar_list = previous_list_;
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    void put(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::filesystem::create_directories((dir / name).parent_path());
        ASSERT_TRUE(write_host_file(dir / name, bytes)) << name;
    }

    // Parses a file of the scratch directory with a codec; the record keeps no file.
    int parse(const std::string& name, SCSample& s, int codec = SC_CODEC_WAV)
    {
        FileStream* const f = fsys->open(name.c_str(), FSYS_BINARY);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) {
            return 0;
        }
        uint8_t header[1024];
        const int32_t n = static_cast<int32_t>(f->read(header, 1, sizeof header));
        sc_sample_clear(s);
        s.stream = f;
        const int r = sc_codec_table[codec]->parse(&s, header, n);
        if (r) {
            s.codec = sc_codec_table[codec];
        }
        f->close();
        s.stream = nullptr;
        return r;
    }

    // Every frame of every channel of a parsed file, as 16-bit values (8-bit
    // data is returned as its bytes).
    std::vector<std::vector<int16_t>> decode(const std::string& name, SCSample& s)
    {
        std::vector<std::vector<int16_t>> out(static_cast<size_t>(s.channels));
        std::vector<std::vector<uint8_t>> raw(static_cast<size_t>(s.channels));
        std::vector<SCDest> dests;
        for (int32_t c = 0; c < s.channels; ++c) {
            raw[c].resize(static_cast<size_t>(s.frames) * s.bytes);
            dests.push_back({c, raw[c].data()});
        }
        dests.push_back({SC_END_OF_LIST, nullptr});
        s.stream = fsys->open(name.c_str(), FSYS_BINARY);
        const int32_t got = s.codec->load(&s, 0, s.frames, dests.data());
        s.stream->close();
        s.stream = nullptr;
        EXPECT_EQ(got, s.frames) << name;
        for (int32_t c = 0; c < s.channels; ++c) {
            for (int32_t i = 0; i < s.frames; ++i) {
                out[c].push_back(s.bytes == 2 ? static_cast<int16_t>(raw[c][2 * i] | (raw[c][2 * i + 1] << 8))
                                              : static_cast<int16_t>(raw[c][i]));
            }
        }
        return out;
    }

    std::filesystem::path dir;
    PrintCapture capture;

private:
    ConfigVariableList variables_;
    ConfigVariableList* previous_list_ = nullptr;
    FSys files_;
    FSys* previous_fsys_ = nullptr;
};
