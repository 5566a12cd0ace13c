#pragma once
// The sound system the client uses until one with a device is plugged in:
// it keeps the map's sound-source records and plays nothing.
#include "client/client_sound.h"
#include "client/entity_records.h"

class SilentSound final : public ClientSound {
public:
    int init() override { return 1; }
    void shutdown() override { destroy_sources(); }
    void update(const CObjCommon*) override { ++updates_; }
    int load_song(const char*, int) override { return 0; }
    int start_song(int) override { return 0; }
    void free_song(int) override {}
    void pause() override { paused_ = true; }
    void resume() override { paused_ = false; }
    bool has_device() const override { return false; }
    double take_mix_time() override { return 0.0; }
    CObjManager* create_sources(int count) override;
    void destroy_sources() override;

    SoundRecords* sources() { return sources_created_ ? &sources_ : nullptr; }
    bool paused() const { return paused_; }
    int32_t updates() const { return updates_; }

private:
    SoundRecords sources_;
    bool sources_created_ = false;
    bool paused_ = false;
    int32_t updates_ = 0;
};
