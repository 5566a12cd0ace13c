#pragma once
// SDWaveFile: the sound device that mixes in real time into "out.wav"
// instead of playing. Each poll renders as many frames as the engine clock
// advanced and appends them through a 64 KB buffer; shutdown completes the
// RIFF header. The sound system never picks it by itself.
#include "sound/mixer.h"

#include <cstdint>
#include <cstdio>

constexpr const char* SDWAVEFILE_NAME = "out.wav";
constexpr int32_t SDWAVEFILE_BUFFER = 65536;
constexpr int32_t SDWAVEFILE_HEADER = 44;
// Most data bytes a RIFF file can describe: its 32-bit length counts the
// header after the first 8 bytes and a pad byte. Kept a multiple of 4 so it
// ends on a frame.
constexpr uint32_t SDWAVEFILE_MAX_DATA = (0xFFFFFFFFu - (SDWAVEFILE_HEADER - 8) - 1) & ~3u;

class SDWaveFile : public Mixer {
public:
    SDWaveFile() = default;
    ~SDWaveFile() override;

    void update() override;
    void pause() override;
    void stop() override;
    void resume() override;
    int get_caps(SDCaps* caps) override;
    int configure(SDSettings* settings) override;
    int init(const SDSettings* settings) override;
    void shutdown() override;

    // For tests: a smaller ceiling than the format's, to reach it quickly.
    void set_data_limit(uint32_t bytes) { data_limit_ = bytes; }
    uint32_t data_length() const { return data_length_; }
    bool is_open() const { return file_ != nullptr; }

private:
    // Appends the waiting bytes to the file.
    void flush_buffer();

    std::FILE* file_ = nullptr;
    double last_update_ = 0.0;   // engine seconds
    int32_t waiting_ = 0;        // bytes in buffer_
    uint32_t data_length_ = 0;   // bytes written to the file
    uint8_t* buffer_ = nullptr;  // SDWAVEFILE_BUFFER bytes ("WavBuffer")
    bool paused_ = false;
    bool stopped_ = false;       // full, or the disk refused a write
    uint32_t data_limit_ = SDWAVEFILE_MAX_DATA;
};
