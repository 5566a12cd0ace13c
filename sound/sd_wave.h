#pragma once
// SDWave: the sound device that plays the mixer's output through the host's
// wave output. It keeps a ring of buffers queued at the driver, refills each
// from the mixer when the driver hands it back, can track the playing
// position for display, and closes and reopens the driver when it stops
// handing buffers back.
#include "sound/mixer.h"

#include <atomic>
#include <cstdint>

namespace host {
class WaveOutDevice;
struct WaveHeader;
} // namespace host

constexpr int SDWAVE_MAX_BUFFERS = 16;
constexpr int SDWAVE_DEFAULT_BUFFERS = 8;
constexpr int32_t SDWAVE_BUFFER_ALIGN = 2048;        // bytes
constexpr float SDWAVE_DEFAULT_BUFFER_LENGTH = 0.25f; // seconds
// Longest buffering taken from the settings, in seconds.
constexpr float SDWAVE_MAX_BUFFER_LENGTH = 8.0f;
// How long closing waits for the driver to hand every buffer back.
constexpr double SDWAVE_CLOSE_TIMEOUT = 2.0;

// One row of the table of output formats, in order of preference.
struct SDWaveFormatRow {
    uint32_t capability; // the driver's WAVE_FORMAT_* bit
    uint32_t flags;      // SDF_* bits
    int32_t rate;
};
constexpr int SDWAVE_FORMAT_ROWS = 12;
extern const SDWaveFormatRow sdwave_formats[SDWAVE_FORMAT_ROWS];

class SDWave : public Mixer {
public:
    SDWave() = default;
    ~SDWave() override;

    void update() override;
    void pause() override;
    void stop() override;
    void resume() override;
    int peek_output(void* buffer, int32_t frames) override;
    int get_caps(SDCaps* caps) override;
    int configure(SDSettings* settings) override;
    int init(const SDSettings* settings) override;
    void shutdown() override;

    // For tests and statistics.
    bool is_open() const { return open_; }
    bool is_paused() const { return paused_; }
    int buffer_count() const { return count_; }
    int32_t buffer_bytes() const { return buffer_bytes_; }
    float stuck_threshold() const { return stuck_threshold_; }
    bool accurate() const { return accurate_; }
    int32_t base_position() const { return base_pos_; }
    bool reopen_pending() const { return reopen_; }

private:
    bool open();
    void close();
    bool fill_buffers();
    bool tracking() const { return (settings_.mode & SDM_TRACK_POSITION) != 0; }
    int32_t buffer_frames() const { return buffer_bytes_ >> frame_shift(); }
    static void done_callback(void* instance, uint32_t message);

    int device_id_ = -1;                   // -1: the system's default output
    host::WaveOutDevice* handle_ = nullptr;
    bool open_ = false;
    bool accurate_ = false;
    bool paused_ = true;
    int32_t base_pos_ = 0;                 // frames: where the oldest queued buffer starts
    int count_ = SDWAVE_DEFAULT_BUFFERS;
    int32_t buffer_bytes_ = 0;
    host::WaveHeader* headers_ = nullptr;  // count_ headers ("WaveHeaders")
    host::WaveHeader* ring_[SDWAVE_MAX_BUFFERS] = {}; // queue order, oldest first
    float stuck_threshold_ = 0.0f;         // seconds
    char device_name_[32] = {};
    std::atomic<uint32_t> completion_{0};  // ms; written by the driver's thread
    float last_refill_ = 0.0f;             // engine seconds; 0 = not watching
    bool reopen_ = false;
};
