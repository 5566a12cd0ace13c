#include "sound/module_player.h"

#include "core/kassert.h"
#include "fsys/file_stream.h"
#include "sound/module_loader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The timer runs at tempo x 0.4 Hz: 125 gives 50 ticks a second.
float timer_rate(int32_t tempo)
{
    return float(tempo) * 0.4f;
}

} // namespace

ModulePlayer::ModulePlayer(SoundDevice* device) : device_(device) {}

ModulePlayer::~ModulePlayer()
{
    unload();
}

void ModulePlayer::attach(FileStream* stream, int loader)
{
    stream_ = stream;
    loader_ = loader;
}

int ModulePlayer::load(FileStream* stream)
{
    stream_ = stream;
    if (loader_ < 0 || loader_ >= MOD_LOADERS || stream == nullptr || !mod_loader_table[loader_].load(mod_, stream)) {
        unload();
        return 0;
    }
    state_ = MODP_STOPPED | MODP_PAUSED | MODP_LOOP | MODP_LOADED;
    return 1;
}

void ModulePlayer::unload()
{
    stop();
    state_ &= ~MODP_LOADED;
    K_ASSERT(!channel_state_);
    K_ASSERT(!track_state_);
    mod_.free();
    loader_ = -1;
    if (stream_ != nullptr) {
        stream_->close();
        stream_ = nullptr;
    }
}

void ModulePlayer::get_info(SongInfo* info)
{
    *info = SongInfo{};
    info->kind = SONG_KIND_MODULE;
    std::memcpy(info->name, mod_.name, sizeof mod_.name);
}

void ModulePlayer::get_length(SongPos* pos)
{
    pos->unit = SONGPOS_ORDER_ROW;
    pos->order = mod_.order_count;
    pos->row = 0;
}

void ModulePlayer::get_position(SongPos* pos)
{
    pos->unit = SONGPOS_ORDER_ROW;
    pos->order = cur_order_;
    pos->row = cur_row_;
}

int ModulePlayer::set_position(SongPos* pos)
{
    if (pos->unit != SONGPOS_ORDER_ROW) {
        pos->unit = SONGPOS_ORDER_ROW;
        return 0;
    }
    next_order_ = pos->order;
    next_row_ = pos->row;
    return 1;
}

int ModulePlayer::set_loop(int on)
{
    const int was = (state_ & MODP_LOOP) != 0 ? 1 : 0;
    state_ = on != 0 ? (state_ | MODP_LOOP) : (state_ & ~MODP_LOOP);
    return was;
}

int ModulePlayer::is_finished()
{
    return (state_ & MODP_ENDED) != 0 ? 1 : 0;
}

void ModulePlayer::set_volume(float volume)
{
    music_volume_ = std::clamp(volume, 0.0f, 1.0f);
}

float ModulePlayer::get_volume()
{
    return music_volume_;
}

void ModulePlayer::set_separation(float separation)
{
    separation_ = std::clamp(separation, -1.0f, 1.0f);
}

float ModulePlayer::get_separation()
{
    return separation_;
}

void ModulePlayer::set_priority(float priority)
{
    priority_ = priority;
}

void ModulePlayer::pause()
{
    state_ |= MODP_PAUSED;
}

int ModulePlayer::read_sample_data(SDSample* sample, void* destination)
{
    if (device_samples_ == nullptr || sample < device_samples_ || sample >= device_samples_ + mod_.sample_count) {
        return 0;
    }
    const ModSample& s = mod_.samples[sample - device_samples_];
    if (s.length < 0 || loader_ < 0 || stream_ == nullptr) {
        return 0;
    }
    return mod_loader_table[loader_].read_sample(destination, stream_, s) ? 1 : 0;
}

bool ModulePlayer::create_device_samples()
{
    device_samples_ = mod_new_array<SDSample>(size_t(mod_.sample_count), "SDSample");
    if (device_samples_ == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < mod_.sample_count; ++i) {
        ModSample& s = mod_.samples[i];
        if (!s.has_data()) {
            continue;
        }
        SDSample& d = device_samples_[i];
        d.source = this;
        d.length = s.length;
        d.flags = uint8_t(((s.flags & MODS_16BIT) != 0 ? SDSF_16BIT : 0) |
                          ((s.flags & MODS_UNSIGNED) != 0 ? SDSF_UNSIGNED : 0));
        if ((s.flags & MODS_SUSTAIN) != 0) {
            d.flags |= uint8_t(SDSF_LOOPED | ((s.flags & MODS_PINGPONG_SUSTAIN) != 0 ? SDSF_BIDI : 0));
            d.loop_start = s.sustain_start;
            d.loop_end = s.sustain_end;
        } else if ((s.flags & MODS_LOOP) != 0) {
            d.flags |= uint8_t(SDSF_LOOPED | ((s.flags & MODS_PINGPONG) != 0 ? SDSF_BIDI : 0));
            d.loop_start = s.loop_start;
            d.loop_end = s.loop_end;
        } else {
            d.loop_start = s.loop_start;
            d.loop_end = s.length;
        }
        if (!device_->device_sample_create(&d)) {
            d = SDSample{};
            return false;
        }
        s.device_created = true;
        device_->sample_ready(&d);
    }
    return true;
}

void ModulePlayer::free_device_samples()
{
    if (device_samples_ == nullptr) {
        return;
    }
    for (int32_t i = 0; i < mod_.sample_count; ++i) {
        if (mod_.samples[i].device_created) {
            device_->device_sample_free(&device_samples_[i]);
            mod_.samples[i].device_created = false;
        }
    }
    mod_delete_array(device_samples_, size_t(mod_.sample_count));
}

void ModulePlayer::free_voices()
{
    while (channel_state_ != nullptr) {
        ModChanState* const v = channel_state_;
        channel_state_ = v->next;
        v->~ModChanState();
        mod_free_bytes(v);
    }
    mod_delete_array(track_state_, size_t(mod_.channels));
}

// The first order at or after `order` whose entry names a pattern with rows,
// wrapping at the end of the list; false when there is none.
bool ModulePlayer::find_order(int32_t& order) const
{
    for (int32_t i = 0; i < mod_.order_count; ++i) {
        if (mod_.playable(i)) {
            order = i;
            return true;
        }
    }
    return false;
}

void ModulePlayer::start()
{
    if ((state_ & (MODP_STOPPED | MODP_LOADED)) == (MODP_STOPPED | MODP_LOADED)) {
        int32_t first = 0;
        if (!find_order(first)) {
            state_ &= ~MODP_PAUSED;
            return;
        }
        if (!create_device_samples()) {
            free_device_samples();
            state_ &= ~MODP_PAUSED;
            return;
        }
        cur_order_ = -1;
        cur_pattern_ = -1;
        cur_row_ = 0;
        next_row_ = 0;
        next_order_ = first;
        speed_ = mod_.initial_speed;
        tempo_ = mod_.initial_tempo;
        global_volume_ = mod_.initial_global_volume;
        separation_ = mod_.initial_separation;
        // The first tick of the song plays its first row.
        tick_ = speed_ - 1;
        track_state_ = mod_new_array<ModTrackState>(size_t(mod_.channels), "ModTrackState");
        if (track_state_ == nullptr) {
            free_device_samples();
            state_ &= ~MODP_PAUSED;
            return;
        }
        for (int32_t c = 0; c < mod_.channels; ++c) {
            track_state_[c].panning = mod_.initial_panning[c];
            track_state_[c].channel_volume = mod_.initial_volume[c];
        }
        if (device_->timer_add(this, timer_rate(tempo_)) == 0) {
            free_voices();
            free_device_samples();
            state_ &= ~MODP_PAUSED;
            return;
        }
        state_ &= ~(MODP_STOPPED | MODP_ENDED);
    }
    state_ &= ~MODP_PAUSED;
}

void ModulePlayer::stop()
{
    if ((state_ & MODP_STOPPED) != 0) {
        return;
    }
    device_->timer_remove(this);
    free_voices();
    free_device_samples();
    state_ |= MODP_STOPPED;
}

void ModulePlayer::timer_tick()
{
    if ((state_ & (MODP_STOPPED | MODP_PAUSED | MODP_ENDED)) != 0) {
        return;
    }
    if (++tick_ >= speed_) {
        next_row();
        if ((state_ & MODP_STOPPED) != 0) {
            return;
        }
    }
    for (int32_t c = 0; c < mod_.channels; ++c) {
        tick_effects(track_state_[c]);
    }
    update_voices();
}

void ModulePlayer::next_row()
{
    tick_ = 0;
    cur_row_ = std::max(next_row_, 0);
    cur_order_ = std::max(next_order_, 0);
    if (cur_order_ < mod_.order_count) {
        cur_pattern_ = mod_.orders[cur_order_];
    }
    if (cur_order_ >= mod_.order_count || cur_pattern_ < 0 || cur_pattern_ >= mod_.pattern_count ||
        uint32_t(cur_row_) >= mod_.patterns[cur_pattern_].rows()) {
        // Every step moves at least once; an end marker or the end of the
        // list wraps to order 0. Twice the list is enough to find a playable
        // order when there is one.
        int32_t steps = 0;
        do {
            if (cur_order_ < mod_.order_count && uint32_t(mod_.orders[cur_order_]) != MOD_ORDER_END) {
                ++cur_order_;
            } else {
                cur_order_ = 0;
                if ((state_ & MODP_LOOP) == 0) {
                    state_ |= MODP_ENDED;
                }
            }
            if (++steps > 2 * mod_.order_count + 2) {
                state_ |= MODP_ENDED;
                stop();
                return;
            }
        } while (!mod_.playable(cur_order_));
        cur_pattern_ = mod_.orders[cur_order_];
        K_ASSERT(0 <= cur_pattern_ && cur_pattern_ < mod_.pattern_count);
        if (uint32_t(cur_row_) >= mod_.patterns[cur_pattern_].rows()) {
            cur_row_ = 0;
        }
    }
    const int32_t rows = int32_t(mod_.patterns[cur_pattern_].rows());
    next_row_ = cur_row_ + 1;
    next_order_ = cur_order_;
    if (next_row_ >= rows) {
        next_row_ = 0;
        next_order_ = cur_order_ + 1;
    }
    row_flags_ = 0;
    process_row();
    const uint32_t jumps = row_flags_ & (MODR_BREAK | MODR_JUMP);
    if (jumps == MODR_BREAK) {
        next_order_ = cur_order_ + 1;
    } else if (jumps == MODR_JUMP) {
        next_row_ = 0;
    }
}

int module_probe(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info)
{
    if (info != nullptr) {
        *info = SongInfo{};
        info->kind = SONG_KIND_MODULE;
    }
    for (const ModLoader& l : mod_loader_table) {
        if (l.detect(stream, head, count, info)) {
            return 1;
        }
    }
    return 0;
}

SongPlayer* module_create(SoundDevice* device, FileStream* stream, const uint8_t* head, int32_t count)
{
    for (int i = 0; i < MOD_LOADERS; ++i) {
        if (!mod_loader_table[i].detect(stream, head, count, nullptr)) {
            continue;
        }
        void* const p = mod_alloc_bytes(sizeof(ModulePlayer), "ModulePlayer");
        if (p == nullptr) {
            return nullptr;
        }
        ModulePlayer* const player = new (p) ModulePlayer(device);
        player->attach(stream, i);
        return player;
    }
    return nullptr;
}
