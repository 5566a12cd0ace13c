// The render tool's WAV output, written a block at a time: the same bytes as
// the file written whole, and failures reported.
#include "tools/wav/wav_stream.h"
#include "tools/wav/wav_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint8_t> read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WavStream, BlocksMakeTheFileWrittenWhole)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("ostrel_wav_stream_" + std::to_string(getpid()) + ".wav")).string();
    std::vector<int16_t> all;
    tools::WavStream wav;
    ASSERT_TRUE(wav.open(path, 2, 22050));
    for (const int n : {0, 6, 1000, 2}) {
        std::vector<int16_t> block;
        for (int i = 0; i < n; ++i) {
            block.push_back(int16_t(i * 977 - 30000));
        }
        all.insert(all.end(), block.begin(), block.end());
        EXPECT_TRUE(wav.write(block));
    }
    EXPECT_TRUE(wav.close());
    EXPECT_EQ(read_all(path), tools::wav_pcm16(2, 22050, all));
    std::remove(path.c_str());
}

TEST(WavStream, AFileThatCannotBeMadeFailsEveryStep)
{
    tools::WavStream wav;
    const std::string path = (std::filesystem::temp_directory_path() / "ostrel_no_such_folder" / "x.wav").string();
    EXPECT_FALSE(wav.open(path, 2, 44100));
    EXPECT_FALSE(wav.write(std::vector<int16_t>(4, 1)));
    EXPECT_FALSE(wav.close());
}

} // namespace
