#pragma once
// What the client asks of the sound system: the listener each frame, songs
// for the console's commands, and the table of the map's sound sources
// (object class 9), made at map load and ended at unload.
#include <cstdint>

class CObjManager;
struct CObjCommon;

class ClientSound {
public:
    virtual ~ClientSound() = default;

    // 1, or 0 when the sound system cannot start (running silent is not a failure).
    virtual int init() = 0;
    virtual void shutdown() = 0;
    // The camera's record, or null without a camera.
    virtual void update(const CObjCommon* listener) = 0;

    virtual int load_song(const char* name, int slot) = 0;
    virtual int start_song(int slot) = 0;
    virtual void free_song(int slot) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;

    virtual bool has_device() const = 0;
    // Seconds spent mixing since the last call; the accumulator restarts at 0.
    virtual double take_mix_time() = 0;

    // The table of the map's sound sources; null when it cannot be made.
    virtual CObjManager* create_sources(int count) = 0;
    virtual void destroy_sources() = 0;

    double profile = 0.0; // smoothed milliseconds per tick of the Snd_Profile line
};

using ClientSoundFactory = ClientSound* (*)();
// The sound system the client makes: the engine's unless a test set another
// (null restores the engine's).
ClientSoundFactory client_sound_factory();
void set_client_sound_factory(ClientSoundFactory factory);
