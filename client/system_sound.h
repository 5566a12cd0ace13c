#pragma once
// The engine's sound system behind the client's sound interface, and the
// client's object table of class 9 on which its in-game sound sources live.
#include "client/client_sound.h"
#include "client/cobj_manager.h"
#include "sound/sound_source_table.h"
#include "sound/sound_system.h"

// The objects of class 9: the update decoder drives them as any class, and
// their per-class operations go to the sound system's source table.
class SoundSourceRecords final : public CObjManager, public SoundObjectRecords {
public:
    void set_table(SoundSourceTable* table) { table_ = table; }

    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;
    int link(int index) override;
    int unlink(int index, int force) override;

    int create_records(int32_t count) override { return create(count, 1); }
    void destroy_records() override { destroy(); }
    int32_t first_object() override { return first(); }
    int32_t next_object() override { return next(); }
    bool object_allocated(int32_t index) const override { return is_allocated(index); }
    SoundObjectPlace object_place(int32_t index) const override;

private:
    SoundSourceTable* table_ = nullptr;
};

// The listener's transform for the sound system: world coordinates into
// those of the camera (the identity without a camera).
void listener_transform(Matrix& out, const CObjCommon* listener);

class SystemSound final : public ClientSound {
public:
    int init() override { return system_.init(); }
    void shutdown() override;
    void update(const CObjCommon* listener) override;
    int load_song(const char* name, int slot) override { return system_.load_song(name, slot); }
    int start_song(int slot) override
    {
        system_.start_song(slot);
        return 1;
    }
    void free_song(int slot) override { system_.free_song(slot); }
    void pause() override { system_.pause(); }
    void resume() override { system_.resume(); }
    bool has_device() const override { return system_.device() != nullptr; }
    double take_mix_time() override;
    CObjManager* create_sources(int count) override;
    void destroy_sources() override;

    SoundSystem& system() { return system_; }

private:
    SoundSystem system_;
    SoundSourceRecords records_;
    double mixed_ = 0.0; // the device's mixing time at the last take
};
