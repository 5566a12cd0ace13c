#pragma once
// What SDL's disk audio driver has written: it writes in real time, so a
// test polls until enough sound is there instead of sleeping a fixed time.
#include "host/host_clock.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// 16-bit stereo frames in the capture file so far.
inline size_t disk_capture_frames(const std::string& path)
{
    std::error_code ec;
    const uintmax_t bytes = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<size_t>(bytes / 4);
}

// Calls poll every few milliseconds until the capture holds `frames` frames;
// false when a minute of polling was not enough.
template <typename Poll>
bool poll_until_captured(const std::string& path, size_t frames, Poll&& poll)
{
    for (int i = 0; i < 12000; ++i) {
        if (disk_capture_frames(path) >= frames) {
            return true;
        }
        poll();
        host::sleep_milliseconds(5);
    }
    return disk_capture_frames(path) >= frames;
}

inline std::vector<int16_t> disk_capture_words(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> words(raw.size() / 2);
    std::memcpy(words.data(), raw.data(), words.size() * 2);
    return words;
}
