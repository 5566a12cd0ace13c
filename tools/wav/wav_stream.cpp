#include "tools/wav/wav_stream.h"

#include "tools/wav/wav_writer.h"

namespace tools {

namespace {

// Offsets of the two lengths in the header of wav_pcm16: the RIFF length and
// the "data" chunk's length.
constexpr long RIFF_LENGTH_AT = 4;
constexpr long DATA_LENGTH_AT = 40;
constexpr uint64_t MAX_DATA_BYTES = 0xFFFFFFFFu - 36;

bool put_u32(std::FILE* f, long at, uint32_t v)
{
    const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return std::fseek(f, at, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, f) == 4;
}

} // namespace

WavStream::~WavStream()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool WavStream::open(const std::string& path, uint16_t channels, uint32_t rate)
{
    const std::vector<uint8_t> header = wav_pcm16(channels, rate, {});
    file_ = std::fopen(path.c_str(), "wb");
    data_bytes_ = 0;
    ok_ = file_ != nullptr && std::fwrite(header.data(), 1, header.size(), file_) == header.size();
    return ok_;
}

bool WavStream::write(const std::vector<int16_t>& samples)
{
    if (!ok_ || samples.empty()) {
        return ok_;
    }
    const std::vector<uint8_t> bytes = wav_samples16(samples);
    data_bytes_ += bytes.size();
    ok_ = data_bytes_ <= MAX_DATA_BYTES && std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    return ok_;
}

bool WavStream::close()
{
    if (file_ == nullptr) {
        return false;
    }
    bool ok = ok_ && put_u32(file_, DATA_LENGTH_AT, uint32_t(data_bytes_)) &&
              put_u32(file_, RIFF_LENGTH_AT, uint32_t(data_bytes_ + 36));
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    ok_ = false;
    return ok;
}

} // namespace tools
