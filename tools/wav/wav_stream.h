#pragma once
// A 16-bit PCM WAV file written as its samples come, for outputs too long to
// hold whole: the header first with no data, then the samples, then the two
// lengths patched in when it is closed.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tools {

class WavStream {
public:
    WavStream() = default;
    // Closes a file still open, without a report.
    ~WavStream();
    WavStream(const WavStream&) = delete;
    WavStream& operator=(const WavStream&) = delete;

    bool open(const std::string& path, uint16_t channels, uint32_t rate);
    // Interleaved samples; false once anything failed.
    bool write(const std::vector<int16_t>& samples);
    // Patches the lengths and closes; false when any step since open failed.
    bool close();

private:
    std::FILE* file_ = nullptr;
    uint64_t data_bytes_ = 0;
    bool ok_ = false;
};

} // namespace tools
