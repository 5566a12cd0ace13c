#pragma once
// StreamPlayer: plays a wave file as a song by streaming it. It opens a
// device stream (one channel for mono, two panned apart for stereo) and
// decodes frames whenever the device's ring has room, looping between the
// file's loop points (the whole file when it has none). A song that stops
// looping ends with STREAM_END_SILENCE frames of silence.
#include "sound/sc_sample.h"
#include "sound/song_player.h"

#include <cstdint>

constexpr int32_t STREAM_RING_SAMPLES = 65536;
constexpr int32_t STREAM_END_SILENCE = 65536;

// State bits.
constexpr uint32_t STREAM_PAUSED = 0x1;
constexpr uint32_t STREAM_FINISHED = 0x2;
constexpr uint32_t STREAM_LOOPING = 0x4;

class StreamPlayer final : public SongPlayer {
public:
    StreamPlayer(SoundDevice* device, FileStream* stream);
    ~StreamPlayer() override;

    int load(FileStream* stream) override;
    void unload() override;
    void get_info(SongInfo* info) override;
    void get_length(SongPos* pos) override;
    void get_position(SongPos* pos) override;
    void start() override;
    void stop() override;
    void pause() override;
    int set_position(SongPos* pos) override;
    int set_loop(int on) override;
    int is_finished() override;
    void set_volume(float volume) override;
    float get_volume() override;
    void set_separation(float separation) override;
    float get_separation() override;
    void set_priority(float priority) override;
    int32_t fill_stream(void* const* out, int32_t stream, int32_t samples) override;

    // For tests.
    const SCSample& desc() const { return desc_; }
    uint32_t state() const { return state_; }
    int32_t position() const { return position_; }
    int32_t silence() const { return silence_; }
    int32_t stream_handle() const { return stream_handle_; }
    int32_t channel(int i) const { return channel_[i]; }

private:
    friend SongPlayer* stream_player_create(SoundDevice*, FileStream*, const uint8_t*, int32_t);
    void fill_silence(void* const* out, int32_t offset, int32_t frames) const;
    void apply_pan();

    SoundDevice* device_;
    int32_t stream_handle_ = -1;
    SCSample desc_;
    int32_t channel_[2] = {};
    int32_t position_ = 0;
    uint32_t state_ = 0;
    int32_t silence_ = 0;
    float volume_ = 1.0f;
    float separation_ = 1.0f;
};

// Row 1 of the song format table.
int stream_player_detect(FileStream* stream, const uint8_t* header, int32_t length, SongInfo* info);
SongPlayer* stream_player_create(SoundDevice* device, FileStream* stream, const uint8_t* header, int32_t length);
