#pragma once
// ModulePlayer: plays one tracker module (IT, XM or S3M) on the sound device.
// A device timer at tempo x 0.4 Hz calls timer_tick, which steps ticks, rows
// and orders; at each row every channel's cell is read and its notes and
// effects are played on voices (mod_play.cpp); at every tick the continuing
// effects, envelopes and fades run and each voice's frequency, volume and
// panning go to its device channel.
#include "sound/sound_device.h"
#include "sound/mod_voice.h"
#include "sound/module_contents.h"
#include "sound/song_player.h"

#include <cstdint>

class FileStream;

// State flags.
constexpr uint32_t MODP_STOPPED = 0x1;
constexpr uint32_t MODP_PAUSED = 0x2;
constexpr uint32_t MODP_ENDED = 0x4;
constexpr uint32_t MODP_LOOP = 0x8;
constexpr uint32_t MODP_LOADED = 0x80000000u;

class ModulePlayer final : public SongPlayer {
public:
    explicit ModulePlayer(SoundDevice* device);
    ~ModulePlayer() override;

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

    // What the device calls back: a device sample's data, and the timer.
    int read_sample_data(SDSample* sample, void* destination) override;
    void timer_tick() override;

    // The stream to load from and its loader row (module_create sets them).
    void attach(FileStream* stream, int loader);

    const ModuleData& module() const { return mod_; }
    uint32_t state() const { return state_; }
    int32_t loader() const { return loader_; }
    int32_t order() const { return cur_order_; }
    int32_t pattern() const { return cur_pattern_; }
    int32_t row() const { return cur_row_; }
    int32_t tick() const { return tick_; }
    int32_t speed() const { return speed_; }
    int32_t tempo() const { return tempo_; }
    int32_t global_volume() const { return global_volume_; }
    const ModTrackState* track(int32_t channel) const
    {
        return track_state_ != nullptr && channel >= 0 && channel < mod_.channels ? &track_state_[channel] : nullptr;
    }
    const ModChanState* voices() const { return channel_state_; }

private:
    // Stepping (module_player.cpp).
    void next_row();
    bool find_order(int32_t& order) const;
    bool create_device_samples();
    void free_device_samples();
    void free_voices();

    // Channels (mod_play.cpp).
    void process_row();
    void process_channel(int32_t channel, ModTrackState& ts);
    void row_effect(ModTrackState& ts, ModChanState& copy, uint8_t code, uint8_t param, int column);
    void tick_effects(ModTrackState& ts);
    void tick_effect(ModTrackState& ts, int column);
    void porta_tick(ModTrackState& ts, int column, int32_t sign);
    void tone_porta_tick(ModTrackState& ts, int column);
    void update_voices();
    void start_voice(ModTrackState& ts, ModChanState& copy);
    void duplicate_check(ModTrackState& ts, const ModChanState& copy);
    void release_voice(ModChanState& v);
    void free_voice(ModChanState& v);
    void restart_envelopes(ModChanState& v) const;
    ModChanState* take_voice();
    int32_t clamp_period(int64_t period) const;
    float start_priority(const ModChanState& v) const;
    bool first_tick() const { return tick_ == 0; }

    SoundDevice* device_;
    FileStream* stream_ = nullptr;
    int32_t loader_ = -1;
    ModuleData mod_;
    SDSample* device_samples_ = nullptr; // one per module sample while started
    uint32_t state_ = MODP_STOPPED;
    uint32_t row_flags_ = 0;
    int32_t cur_order_ = -1;
    int32_t cur_pattern_ = -1;
    int32_t cur_row_ = 0;
    int32_t tick_ = 0;
    int32_t next_order_ = 0;
    int32_t next_row_ = 0;
    int32_t speed_ = 6;
    int32_t tempo_ = 125;
    int32_t global_volume_ = 128;
    ModTrackState* track_state_ = nullptr;
    ModChanState* channel_state_ = nullptr;
    float music_volume_ = 1.0f;
    float separation_ = 1.0f;
    float priority_ = 8.0f;
};

// The module row of the song probe table: whether a loader takes the file
// (filling info's kind and name), and a new player for it with its loader
// chosen (null when none takes it or memory is short).
int module_probe(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info);
SongPlayer* module_create(SoundDevice* device, FileStream* stream, const uint8_t* head, int32_t count);
