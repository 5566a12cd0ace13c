#pragma once
// SongPlayer: the player of one song (a tracker module or a streamed wave
// file). It plays on a sound device and is also the device's client: the
// device calls it back for stream data and timer ticks.
#include "sound/sound_device_client.h"

#include <cstdint>

class FileStream;
class SoundDevice;

constexpr uint32_t SONG_KIND_MODULE = 1;
constexpr uint32_t SONG_KIND_STREAM = 2;
constexpr int SONG_TEXT_LEN = 64;

struct SongInfo {
    uint32_t kind = 0;                // SONG_KIND_*
    uint32_t reserved = 0;
    char name[SONG_TEXT_LEN] = {};    // name or title
    char text2[SONG_TEXT_LEN] = {};   // left empty by both players
    char text3[SONG_TEXT_LEN] = {};
};

// Units of a song position.
constexpr uint32_t SONGPOS_SECONDS = 1;
constexpr uint32_t SONGPOS_FRAMES = 2;
constexpr uint32_t SONGPOS_ORDER_ROW = 3;

// A position or length: the unit tells which value holds it.
struct SongPos {
    uint32_t unit = SONGPOS_SECONDS;
    float seconds = 0.0f;
    int32_t frames = 0;
    int32_t order = 0;
    int32_t row = 0;
};

class SongPlayer : public SoundDeviceClient {
public:
    ~SongPlayer() override = default;
    // The song's open file, right after creation; 1 or 0.
    virtual int load(FileStream* stream) = 0;
    // Stops, frees the song's data and closes the file.
    virtual void unload() = 0;
    virtual void get_info(SongInfo* info) = 0;
    // Answer in the unit asked when the player supports it; otherwise the
    // player rewrites the unit to one it supports.
    virtual void get_length(SongPos* pos) = 0;
    virtual void get_position(SongPos* pos) = 0;
    // Starts, or resumes when paused.
    virtual void start() = 0;
    // Stops and gives back the device resources of the song.
    virtual void stop() = 0;
    virtual void pause() = 0;
    // 1, or 0 when the unit is not supported.
    virtual int set_position(SongPos* pos) = 0;
    // Returns the previous setting.
    virtual int set_loop(int on) = 0;
    // Non-zero once a song that does not loop has played to its end.
    virtual int is_finished() = 0;
    // Clamped to [0, 1].
    virtual void set_volume(float volume) = 0;
    virtual float get_volume() = 0;
    // Clamped to [-1, 1].
    virtual void set_separation(float separation) = 0;
    virtual float get_separation() = 0;
    virtual void set_priority(float priority) = 0;
};
