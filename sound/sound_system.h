#pragma once
// SoundSystem: the client's one entry point to sound and music. It reads the
// sound options, opens one device and has it polled between frames, owns the
// music and effects sample caches, the 3-D hive, the in-game sound sources of
// the loaded map, six configuration variables and four song slots.
#include "core/poll.h"

#include <cstdint>

class ConfigVariable;
class S3DHive;
class SampleCache;
class SongPlayer;
class SoundDevice;
class SoundObjectRecords;
class SoundSourceTable;
struct Matrix;
struct SDSettings;

constexpr int SOUND_DEVICES = 2;
constexpr int SOUND_DEVICE_WAVE = 0;      // the wave output; the automatic choice
constexpr int SOUND_DEVICE_WAVE_FILE = 1; // "out.wav"; only when named
constexpr int SOUND_SONG_SLOTS = 4;
constexpr int32_t SOUND_GAME_SOURCES = 256;
constexpr float SOUND_POLL_MIN = 0.02f; // seconds
constexpr float SOUND_POLL_MAX = 1.0f;

// The devices, row 0 first; tests may put their own in.
extern SoundDevice* sound_device_table[SOUND_DEVICES];

class SoundSystem {
public:
    SoundSystem() = default;
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    // 1 also when sound stays off; 0 when a part of a chosen device fails.
    int init();
    // Releases everything; safe on a cleared object.
    void shutdown();
    // Per frame, with the camera's transform.
    void update(const Matrix& listener);
    // The map's sound sources over the client's table of class 9; null
    // after "Sound: Can't allocate ingame sound sources !".
    SoundSourceTable* alloc_game_sources(int32_t count, SoundObjectRecords* records);
    void free_game_sources();
    void pause();
    void resume();
    int load_song(const char* name, int slot);
    void start_song(int slot);
    void free_song(int slot);
    // A one-shot sound beside the listener (x to the right), not reverberated.
    int play_sound(const char* name, float volume, float x, float frequency);

    // Device layer.
    SoundDevice* open_device(int index, SDSettings* settings);
    void close_device();
    SongPlayer* create_song(const char* name);
    int probe_song(const char* name);

    SoundDevice* device() const { return device_; }
    SampleCache* music_cache() const { return music_cache_; }
    SampleCache* effects_cache() const { return effects_cache_; }
    S3DHive* hive() const { return hive_; }
    SongPlayer* song(int slot) const;
    SoundSourceTable* game_sources() const { return game_sources_; }
    double mix_load = 0.0; // smoothed mixing load, kept by the client's profile line

private:
    class DevicePoll final : public PollObject {
    public:
        void poll() override;
        SoundDevice* device = nullptr;
    };

    bool link_variables();
    void release_variables();

    SoundDevice* device_ = nullptr;
    SampleCache* music_cache_ = nullptr;
    SampleCache* effects_cache_ = nullptr;
    S3DHive* hive_ = nullptr;
    ConfigVariable* cv_debuglines_ = nullptr;
    ConfigVariable* cv_musicvolume_ = nullptr;
    ConfigVariable* cv_musicseparation_ = nullptr;
    ConfigVariable* cv_soundvolume_ = nullptr;
    ConfigVariable* cv_soundseparation_ = nullptr;
    ConfigVariable* cv_environment_ = nullptr;
    SongPlayer* songs_[SOUND_SONG_SLOTS] = {};
    SoundSourceTable* game_sources_ = nullptr;
    DevicePoll poll_;
};

// A variable read as a real: a String counts its length, a Bool is 0 or 1.
float cvar_real(const ConfigVariable* v);
