#pragma once
// What SDL's disk audio driver has written: it writes in real time, so a
// test polls until enough sound is there instead of sleeping a fixed time.
#include "host/host_clock.h"

#include <chrono>
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

// Calls poll every few milliseconds until done() holds; false when 12,000
// polls or two minutes (a starved thread polls seldom) were not enough.
template <typename Done, typename Poll>
bool poll_until(Done&& done, Poll&& poll)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (int i = 0; i < 12000 && std::chrono::steady_clock::now() < end; ++i) {
        if (done()) {
            return true;
        }
        poll();
        host::sleep_milliseconds(5);
    }
    return done();
}

inline std::vector<int16_t> disk_capture_words(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> words(raw.size() / 2);
    std::memcpy(words.data(), raw.data(), words.size() * 2);
    return words;
}

// The driver plays frames of 0 where its queue ran dry (before the first
// buffer, or when the thread that refills it was starved): the stereo words
// with those gaps cut out are the sound the mixer handed over, in order. The
// mixer's 16-bit path adds -128, so its own frames are (0, 0) only where
// both sides sum to exactly 128, which no steady tone of the tests does.
inline std::vector<int16_t> disk_capture_sound(const std::vector<int16_t>& words)
{
    std::vector<int16_t> sound;
    sound.reserve(words.size());
    for (size_t i = 0; i + 1 < words.size(); i += 2) {
        if (words[i] != 0 || words[i + 1] != 0) {
            sound.push_back(words[i]);
            sound.push_back(words[i + 1]);
        }
    }
    return sound;
}

// Polls until the capture holds `frames` frames of sound, gaps cut; the file
// is read whole only when it has grown by a few buffers since the last look.
template <typename Poll>
bool poll_until_sound(const std::string& path, size_t frames, Poll&& poll)
{
    size_t next_look = frames;
    return poll_until(
        [&] {
            const size_t written = disk_capture_frames(path);
            if (written < next_look) {
                return false;
            }
            next_look = written + 2205;
            return disk_capture_sound(disk_capture_words(path)).size() / 2 >= frames;
        },
        poll);
}
