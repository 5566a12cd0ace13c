#pragma once
// SongPlayer: the player of one song (a tracker module or a wave stream), as
// the sound system's song slots drive it.
#include <cstdint>

class FileStream;

constexpr uint32_t SONG_KIND_MODULE = 1;
constexpr uint32_t SONG_KIND_STREAM = 2;
constexpr int SONG_TEXT_SIZE = 64;

struct SongInfo {
    uint32_t kind = 0;
    uint32_t zero = 0;
    char name[SONG_TEXT_SIZE] = {};
    char text2[SONG_TEXT_SIZE] = {};
    char text3[SONG_TEXT_SIZE] = {};
};

// Units of a song position.
constexpr uint32_t SONG_SECONDS = 1;
constexpr uint32_t SONG_FRAMES = 2;
constexpr uint32_t SONG_ORDER_ROW = 3;

struct SongPos {
    uint32_t unit = 0;
    float seconds = 0.0f;
    int32_t frames = 0;
    int32_t order = 0;
    int32_t row = 0;
};

class SongPlayer {
public:
    SongPlayer() = default;
    virtual ~SongPlayer() = default;
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // The song's open file, called once after creation; 1 or 0.
    virtual int load(FileStream* stream) = 0;
    virtual void unload() = 0;
    virtual void get_info(SongInfo* info) = 0;
    virtual void get_length(SongPos* pos) = 0;
    virtual void get_position(SongPos* pos) = 0;
    // Starts, or resumes when paused.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    // 1, or 0 when the unit is not supported.
    virtual int set_position(SongPos* pos) = 0;
    // The previous setting.
    virtual int set_loop(int on) = 0;
    virtual int is_finished() = 0;
    virtual void set_volume(float volume) = 0;  // clamped to 0..1
    virtual float get_volume() = 0;
    virtual void set_separation(float separation) = 0;  // clamped to -1..1
    virtual float get_separation() = 0;
    virtual void set_priority(float priority) = 0;
};
