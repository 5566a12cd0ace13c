#include "sound/sound_system.h"

#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "core/timer.h"
#include "fsys/fsys.h"
#include "sound/s3d_hive.h"
#include "sound/s3d_renderer.h"
#include "sound/sample_cache.h"
#include "sound/sd_wave.h"
#include "sound/sd_wave_file.h"
#include "sound/song_format.h"
#include "sound/song_player.h"
#include "sound/sound_source_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

SDWave wave_device;
SDWaveFile wave_file_device;

constexpr uint32_t SOUND_CVAR_FLAGS = 0x100;
constexpr uint32_t WAVE_CVAR_FLAGS = 0x140;

// Creates the variable with the option's parameter when it does not exist yet.
void pre_create(const char* option, const char* variable)
{
    if (command_line->find_option(option) && command_line->parameter_count() >= 1 && cvar_list != nullptr &&
        cvar_list->find(variable) == nullptr) {
        cvar_list->link(CVTYPE_INT, WAVE_CVAR_FLAGS, variable, command_line->parameter(0), 0);
    }
}

// The option's first parameter, or null when the option or its parameter is absent.
const char* option_parameter(const char* option)
{
    if (command_line->find_option(option) && command_line->parameter_count() >= 1) {
        return command_line->parameter(0);
    }
    return nullptr;
}

// Reads the header of an open file; the bytes read.
int32_t read_song_header(FileStream* f, uint8_t* header)
{
    return static_cast<int32_t>(f->read(header, 1, SONG_HEADER_BYTES));
}

} // namespace

SoundDevice* sound_device_table[SOUND_DEVICES] = {&wave_device, &wave_file_device};

float cvar_real(const ConfigVariable* v)
{
    switch (v->type()) {
    case CVTYPE_FLOAT:
        return v->as_float();
    case CVTYPE_INT:
        return static_cast<float>(v->as_int());
    default:
        return static_cast<float>(v->int_value());
    }
}

void SoundSystem::DevicePoll::poll()
{
    if (device != nullptr) {
        device->update();
    }
}

SoundSystem::~SoundSystem()
{
    shutdown();
}

SongPlayer* SoundSystem::song(int slot) const
{
    return slot >= 0 && slot < SOUND_SONG_SLOTS ? songs_[slot] : nullptr;
}

int SoundSystem::init()
{
    K_ASSERT(command_line && "cmd_line");
    shutdown();
    int choice = -1;
    bool none = false;
    if (command_line->find_option("wave")) {
        choice = SOUND_DEVICE_WAVE;
    }
    pre_create("wave_dev", "Wave_Device");
    pre_create("wave_bufs", "Wave_Buffers");
    if (command_line->find_option("nosound")) {
        none = true;
    }
    SDSettings settings;
    if (!none) {
        if (const char* p = option_parameter("snd_buflen")) {
            const float v = std::strtof(p, nullptr);
            if (v != 0.0f) {
                settings.buffer_length = v;
            }
        }
        settings.flags = 0;
        if (!command_line->find_option("snd_8bit")) {
            settings.flags |= SDF_16BIT;
        }
        if (!command_line->find_option("snd_mono")) {
            settings.flags |= SDF_STEREO;
        }
        if (command_line->find_option("snd_interpolate")) {
            settings.flags |= SDF_INTERPOLATE;
        }
        int value = 0;
        if (const char* p = option_parameter("snd_freq"); p != nullptr && std::sscanf(p, "%i", &value) == 1) {
            settings.rate = value;
        }
        if (const char* p = option_parameter("snd_channels"); p != nullptr && std::sscanf(p, "%i", &value) == 1) {
            settings.channels = value;
        }
        if (const char* p = option_parameter("snd_volume")) {
            const float v = std::strtof(p, nullptr);
            if (v != 0.0f) {
                settings.volume = v;
            }
        }
        if (open_device(choice, &settings) != nullptr) {
            effects_cache_ = new (std::nothrow) SampleCache(device_);
            if (effects_cache_ == nullptr) {
                command_line->end_search();
                print_string(P_ERROR, "Sound: Can't create sample cache");
                return 0;
            }
            hive_ = device_->create_3d_hive();
            if (hive_ == nullptr) {
                command_line->end_search();
                print_string(P_ERROR, "Sound: Can't create sound source hive");
                return 0;
            }
            hive_->attach_cache(effects_cache_);
        }
    }
    command_line->end_search();
    if (!link_variables()) {
        print_string(P_ERROR, "Sound: Can't create cvars !");
        return 0;
    }
    if (device_ == nullptr) {
        print_string(P_IMPORTANT, "No sound initialized");
        return 1;
    }
    print_string(P_IMPORTANT, "Sound system initialized");
    print_format(P_DEBUG, "Mixing freq %d Hz; %s %d-bit %s", settings.rate,
                 (settings.flags & SDF_STEREO) != 0 ? "stereo" : "mono", (settings.flags & SDF_16BIT) != 0 ? 16 : 8,
                 (settings.flags & SDF_INTERPOLATE) != 0 ? "interpolated" : "");
    return 1;
}

bool SoundSystem::link_variables()
{
    K_ASSERT(cvar_list && "cvar_list");
    cv_debuglines_ = cvar_list->link(CVTYPE_INT, SOUND_CVAR_FLAGS, "Snd_DebugLines", "0", 0);
    cv_musicvolume_ = cvar_list->link(CVTYPE_FLOAT, SOUND_CVAR_FLAGS, "Snd_MusicVolume", "1.0", 0);
    cv_musicseparation_ = cvar_list->link(CVTYPE_FLOAT, SOUND_CVAR_FLAGS, "Snd_MusicStereoSeparation", "1.0", 0);
    cv_soundvolume_ = cvar_list->link(CVTYPE_FLOAT, SOUND_CVAR_FLAGS, "Snd_SoundVolume", "1.0", 0);
    cv_soundseparation_ = cvar_list->link(CVTYPE_FLOAT, SOUND_CVAR_FLAGS, "Snd_SoundStereoSeparation", "0.5", 0);
    cv_environment_ = cvar_list->link(CVTYPE_INT, SOUND_CVAR_FLAGS, "Snd_Environment", "0", 0);
    return cv_debuglines_ != nullptr && cv_musicvolume_ != nullptr && cv_musicseparation_ != nullptr &&
           cv_soundvolume_ != nullptr && cv_soundseparation_ != nullptr && cv_environment_ != nullptr;
}

void SoundSystem::release_variables()
{
    ConfigVariable** const all[] = {&cv_debuglines_,  &cv_musicvolume_,     &cv_musicseparation_,
                                    &cv_soundvolume_, &cv_soundseparation_, &cv_environment_};
    for (ConfigVariable** v : all) {
        release_variable(*v);
    }
}

void SoundSystem::shutdown()
{
    delete game_sources_;
    game_sources_ = nullptr;
    for (SongPlayer*& s : songs_) {
        delete s;
        s = nullptr;
    }
    delete hive_;
    hive_ = nullptr;
    delete effects_cache_;
    effects_cache_ = nullptr;
    close_device();
    release_variables();
}

SoundDevice* SoundSystem::open_device(int index, SDSettings* settings)
{
    close_device();
    const SDSettings request = *settings;
    SoundDevice* d = nullptr;
    if (index == -1) {
        if (sound_device_table[SOUND_DEVICE_WAVE]->configure(settings)) {
            d = sound_device_table[SOUND_DEVICE_WAVE];
        } else {
            *settings = request;
        }
    } else if (index >= 0 && index < SOUND_DEVICES) {
        d = sound_device_table[index];
    }
    if (d == nullptr) {
        return nullptr;
    }
    if (!d->init(settings)) {
        d->shutdown();
        return nullptr;
    }
    // The record tells the caller what the device settled on.
    d->get_settings(settings);
    poll_.device = d;
    if (!poll_add(&poll_, SOUND_POLL_MIN, SOUND_POLL_MAX)) {
        poll_.device = nullptr;
        d->shutdown();
        return nullptr;
    }
    device_ = d;
    music_cache_ = new (std::nothrow) SampleCache(d);
    if (music_cache_ == nullptr) {
        close_device();
        return nullptr;
    }
    return d;
}

void SoundSystem::close_device()
{
    delete music_cache_;
    music_cache_ = nullptr;
    if (device_ != nullptr) {
        poll_remove(&poll_);
        poll_.device = nullptr;
        device_->shutdown();
        device_ = nullptr;
    }
}

void SoundSystem::update(const Matrix& listener)
{
    if (device_ == nullptr) {
        return;
    }
    if (hive_ != nullptr) {
        if (game_sources_ != nullptr) {
            game_sources_->update(listener);
        }
        if (cv_soundseparation_->check_changed()) {
            hive_->set_separation(cvar_real(cv_soundseparation_));
        }
        if (cv_environment_->check_changed()) {
            hive_->set_environment(cv_environment_->int_value());
        }
        hive_->frame(sys_time(), cv_debuglines_->int_value());
    }
    for (SongPlayer* s : songs_) {
        if (s != nullptr) {
            s->set_volume(cvar_real(cv_musicvolume_));
            s->set_separation(cvar_real(cv_musicseparation_));
        }
    }
}

SoundSourceTable* SoundSystem::alloc_game_sources(int32_t count, SoundObjectRecords* records)
{
    free_game_sources();
    game_sources_ = records != nullptr ? new (std::nothrow) SoundSourceTable(records) : nullptr;
    if (game_sources_ == nullptr || !game_sources_->init(hive_, count)) {
        print_string(P_ERROR, "Sound: Can't allocate ingame sound sources !");
        return nullptr;
    }
    return game_sources_;
}

void SoundSystem::free_game_sources()
{
    delete game_sources_;
    game_sources_ = nullptr;
}

void SoundSystem::pause()
{
    if (device_ != nullptr) {
        device_->pause();
    }
}

void SoundSystem::resume()
{
    if (device_ != nullptr) {
        device_->resume();
    }
}

SongPlayer* SoundSystem::create_song(const char* name)
{
    if (device_ == nullptr) {
        return nullptr;
    }
    FileStream* const f = fsys != nullptr ? fsys->open(name, FSYS_BINARY) : nullptr;
    if (f == nullptr) {
        print_format(P_ERROR, "SoundSystem: Can't find song '%s' !", name);
        return nullptr;
    }
    uint8_t header[SONG_HEADER_BYTES];
    const int32_t length = read_song_header(f, header);
    SongPlayer* player = nullptr;
    for (const SongFormat& row : song_format_table) {
        if (row.create != nullptr && (player = row.create(device_, f, header, length)) != nullptr) {
            break;
        }
    }
    if (player == nullptr) {
        print_format(P_ERROR, "SoundSystem: Unknown song '%s' format !", name);
        f->close();
        return nullptr;
    }
    if (!player->load(f)) {
        print_format(P_ERROR, "SoundSystem: Can't load song '%s'", name);
        delete player;
        return nullptr;
    }
    return player;
}

int SoundSystem::probe_song(const char* name)
{
    FileStream* const f = fsys != nullptr ? fsys->open(name, FSYS_BINARY) : nullptr;
    if (f == nullptr) {
        print_format(P_ERROR, "SoundSystem: Can't find song '%s' !", name);
        return 0;
    }
    uint8_t header[SONG_HEADER_BYTES];
    const int32_t length = read_song_header(f, header);
    int found = 0;
    for (const SongFormat& row : song_format_table) {
        if (row.detect != nullptr && row.detect(f, header, length, nullptr)) {
            found = 1;
            break;
        }
    }
    f->close();
    return found;
}

int SoundSystem::load_song(const char* name, int slot)
{
    if (device_ == nullptr) {
        return 1;
    }
    if (slot < 0 || slot >= SOUND_SONG_SLOTS || songs_[slot] != nullptr) {
        return 0;
    }
    songs_[slot] = create_song(name);
    return songs_[slot] != nullptr ? 1 : 0;
}

void SoundSystem::start_song(int slot)
{
    if (device_ != nullptr && slot >= 0 && slot < SOUND_SONG_SLOTS && songs_[slot] != nullptr) {
        songs_[slot]->start();
    }
}

void SoundSystem::free_song(int slot)
{
    if (device_ != nullptr && slot >= 0 && slot < SOUND_SONG_SLOTS && songs_[slot] != nullptr) {
        delete songs_[slot];
        songs_[slot] = nullptr;
    }
}

int SoundSystem::play_sound(const char* name, float volume, float x, float frequency)
{
    if (hive_ == nullptr) {
        return 1;
    }
    S3DSource* const s = hive_->create_source(name, S3DF_LISTENER_RELATIVE | S3DF_NO_REVERB);
    if (s == nullptr) {
        return 0;
    }
    s->set_position(x, 0.0f, 0.0f);
    s->set_velocity(0.0f, 0.0f, 0.0f);
    s->set_distances(0.0f, 256.0f);
    s->set_volume(volume);
    s->set_frequency(frequency);
    s->base_priority = S3D_DEFAULT_PRIORITY;
    s->volume_priority = S3D_DEFAULT_PRIORITY;
    s->release();
    return 1;
}
