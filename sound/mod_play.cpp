// The channel side of ModulePlayer: rows, effects, voices and what each tick
// sends to the device.
#include "core/kassert.h"
#include "core/print.h"
#include "sound/mod_period.h"
#include "sound/module_player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// What each command column's row part does with its parameter.
struct SlideRule {
    int32_t maximum;
    int32_t multiplier;
    bool fine;        // xF and Fx are fine slides
    bool first_tick;  // slides on the row's first tick too
};

// The slide rule: xF / Fx fine forms act once on the first tick; otherwise
// a high nibble slides up, a low one down, from the second tick on.
int32_t slide(int32_t v, uint8_t m, const SlideRule& r, bool first)
{
    const int32_t hi = m >> 4;
    const int32_t lo = m & 15;
    if (r.fine && lo == 15 && hi > 0) {
        v += first ? hi * r.multiplier : 0;
    } else if (r.fine && hi == 15 && lo > 0) {
        v -= first ? lo * r.multiplier : 0;
    } else if (!first || r.first_tick) {
        v += hi == 0 ? -lo * r.multiplier : hi * r.multiplier;
    }
    return std::clamp(v, 0, r.maximum);
}

bool loops(const ModSample* s)
{
    return s != nullptr && (s->flags & (MODS_LOOP | MODS_SUSTAIN)) != 0;
}

} // namespace

int32_t ModulePlayer::clamp_period(int64_t period) const
{
    return int32_t(std::clamp<int64_t>(period, mod_.min_period, mod_.max_period));
}

float ModulePlayer::start_priority(const ModChanState& v) const
{
    return priority_ * 0.4f * (loops(mod_.sample(v.sample)) ? 1.2f : 1.0f);
}

void ModulePlayer::restart_envelopes(ModChanState& v) const
{
    const ModInstrument* const inst = mod_.instrument(v.instrument);
    v.env[MOD_ENV_VOLUME].init(inst != nullptr ? &inst->envelope[MOD_ENV_VOLUME] : nullptr, 256);
    v.env[MOD_ENV_PANNING].init(inst != nullptr ? &inst->envelope[MOD_ENV_PANNING] : nullptr, 0);
    v.env[MOD_ENV_PITCH].init(inst != nullptr ? &inst->envelope[MOD_ENV_PITCH] : nullptr, 0);
}

void ModulePlayer::process_row()
{
    for (int32_t c = 0; c < mod_.channels; ++c) {
        ModTrackState& ts = track_state_[c];
        ts.active[0] = 0;
        ts.active[1] = 0;
        row_flags_ &= ~MODR_CHANNEL_BITS;
        process_channel(c, ts);
    }
}

void ModulePlayer::process_channel(int32_t channel, ModTrackState& ts)
{
    const ModCell cell = mod_.patterns[cur_pattern_].get_cell(uint32_t(channel), uint32_t(cur_row_));
    const uint32_t fmt = mod_.format_flags;
    ModChanState copy = ts.voice != nullptr ? *ts.voice : ModChanState{};
    uint32_t& f = row_flags_;

    if (cell.note < MOD_NOTES) {
        ts.last_note = cell.note;
        f |= MODR_NOTE | MODR_TRIGGER;
    } else if (cell.note == MOD_NOTE_OFF && (fmt & MODF_INSTRUMENT_MODE) != 0) {
        release_voice(copy);
    } else if (cell.note == MOD_NOTE_CUT) {
        f |= MODR_CUT;
        ts.last_note = MOD_NONE;
    } else if (cell.note == MOD_NOTE_FADE) {
        copy.start_fade();
    }

    // A note beside a tone portamento is the slide's goal, not a new note.
    for (int col = 0; col < 2; ++col) {
        if (cell.command[col] == MODC_TONE_PORTA || cell.command[col] == MODC_TONE_PORTA_SLIDE) {
            f = (f & ~MODR_TRIGGER) | MODR_PORTA;
        }
    }

    if (cell.instrument != MOD_NONE) {
        if (cell.instrument < mod_.instrument_count) {
            f |= MODR_INSTRUMENT;
            if ((cell.instrument != copy.instrument || ts.voice == nullptr) && (f & MODR_NOTE) == 0) {
                if ((fmt & MODF_INSTRUMENT_RETRIGGER) != 0) {
                    f |= MODR_RETRIGGER;
                } else {
                    f &= ~MODR_INSTRUMENT;
                }
            }
            copy.flags &= uint8_t(~MODV_FADING);
            copy.fade = 0x10000;
        } else {
            f &= ~(MODR_TRIGGER | MODR_RETRIGGER);
        }
        copy.instrument = cell.instrument;
    }

    if (cell.note == MOD_NOTE_OFF && (fmt & MODF_INSTRUMENT_MODE) == 0) {
        if ((f & MODR_INSTRUMENT) != 0 || copy.env[MOD_ENV_VOLUME].on()) {
            release_voice(copy);
        } else {
            f |= MODR_CUT;
        }
    }

    if ((f & MODR_CUT) != 0) {
        if ((fmt & MODF_CUT_BY_VOLUME) != 0) {
            ts.volume = 0;
        } else if (ts.voice != nullptr) {
            device_->channel_stop(ts.voice->channel);
        }
    }

    const ModInstrument* const inst = mod_.instrument(copy.instrument);
    const bool porta = (f & MODR_PORTA) != 0;
    if ((f & (MODR_NOTE | MODR_INSTRUMENT)) != 0 && ts.last_note < MOD_NOTES && inst != nullptr) {
        if (!porta && (fmt & MODF_INSTRUMENT_MODE) != 0) {
            copy.flags &= uint8_t(~MODV_FADING);
            copy.fade = 0x10000;
        }
        copy.note = inst->note_map[ts.last_note];
        if (!porta) {
            copy.sample = inst->sample_map[ts.last_note];
        }
        const ModSample* const s = mod_.sample(copy.sample);
        if (s != nullptr && s->has_data()) {
            const int32_t period = mod_note_period(mod_, copy.note, copy.sample);
            if (porta) {
                copy.target = period;
            } else {
                copy.period = period;
                if ((f & MODR_NOTE) != 0) {
                    copy.target = 0;
                }
            }
            if ((s->flags & MODS_PANNING) != 0) {
                copy.panning = s->default_panning;
                copy.flags |= MODV_OWN_PANNING;
            } else if ((inst->flags & MODI_PANNING) != 0) {
                copy.panning = inst->default_panning;
                copy.flags |= MODV_OWN_PANNING;
            } else {
                copy.flags &= uint8_t(~MODV_OWN_PANNING);
            }
            if ((f & MODR_INSTRUMENT) != 0) {
                ts.volume = s->default_volume;
                if ((fmt & MODF_ENVELOPE_PER_INSTRUMENT) != 0) {
                    restart_envelopes(copy);
                }
            }
        } else {
            f &= ~(MODR_TRIGGER | MODR_RETRIGGER);
        }
    }

    for (int col = 0; col < 2; ++col) {
        row_effect(ts, copy, cell.command[col], cell.param[col], col);
    }

    const ModSample* const s = mod_.sample(copy.sample);
    if ((f & (MODR_TRIGGER | MODR_RETRIGGER)) != 0 && inst != nullptr && s != nullptr && s->has_data() &&
        device_samples_ != nullptr) {
        start_voice(ts, copy);
        // A voice that could not be had drops the note.
        if (ts.voice == nullptr) {
            return;
        }
        const float priority = start_priority(*ts.voice);
        device_->channel_start(ts.voice->channel, &device_samples_[copy.sample], priority, priority_ * 0.6f);
        ts.new_note_action = inst->new_note_action;
        if ((fmt & MODF_ENVELOPE_PER_INSTRUMENT) == 0) {
            restart_envelopes(*ts.voice);
        }
    } else if (ts.voice != nullptr) {
        ModChanState* const next = ts.voice->next;
        *ts.voice = copy;
        ts.voice->next = next;
    }
}

void ModulePlayer::row_effect(ModTrackState& ts, ModChanState& copy, uint8_t code, uint8_t p, int column)
{
    auto remember = [&](ModMemory m) {
        if (p != 0) {
            ts.memory[m] = p;
        }
        return ts.memory[m];
    };
    switch (code) {
    case MODC_SPEED:
        if (p > 0) {
            speed_ = p;
        }
        break;
    case MODC_TEMPO:
        if (p > 0) {
            tempo_ = p;
            device_->timer_set_rate(this, float(tempo_) * 0.4f);
        }
        break;
    case MODC_BREAK:
        next_row_ = p;
        row_flags_ |= MODR_BREAK;
        break;
    case MODC_JUMP:
        next_order_ = p;
        row_flags_ |= MODR_JUMP;
        break;
    case MODC_VOLUME:
        ts.volume = std::min<int32_t>(p, 64);
        break;
    case MODC_VOLUME_SLIDE:
    case MODC_TONE_PORTA_SLIDE:
    case MODC_VOLUME_SLIDE2:
        ts.active[column] = code;
        remember(MODM_VOLUME_SLIDE);
        break;
    case MODC_FINE_VOLUME: {
        const uint8_t m = remember(MODM_FINE_VOLUME);
        ts.volume = std::clamp(ts.volume + (m >> 4) - (m & 15), 0, 64);
        break;
    }
    case MODC_CHANNEL_VOLUME:
        ts.channel_volume = std::min<int32_t>(p, 64);
        break;
    case MODC_CHANNEL_SLIDE:
        ts.active[column] = code;
        remember(MODM_CHANNEL_VOLUME);
        break;
    case MODC_GLOBAL_VOLUME:
        global_volume_ = std::min<int32_t>(p, 128);
        break;
    case MODC_GLOBAL_SLIDE:
        ts.active[column] = code;
        remember(MODM_GLOBAL_VOLUME);
        break;
    case MODC_PANNING:
        ts.panning = p;
        copy.flags &= uint8_t(~MODV_OWN_PANNING);
        break;
    case MODC_PANNING_SLIDE:
        ts.active[column] = code;
        remember(MODM_PANNING);
        if ((copy.flags & MODV_OWN_PANNING) != 0) {
            copy.flags &= uint8_t(~MODV_OWN_PANNING);
            ts.panning = copy.panning;
        }
        break;
    case MODC_PORTA_UP:
    case MODC_PORTA_DOWN:
        ts.active[column] = code;
        remember(MODM_PORTA);
        break;
    case MODC_FINE_PORTA_UP:
        copy.period = clamp_period(int64_t(copy.period) - remember(MODM_FINE_PORTA));
        break;
    case MODC_FINE_PORTA_DOWN:
        copy.period = clamp_period(int64_t(copy.period) + remember(MODM_FINE_PORTA));
        break;
    case MODC_TONE_PORTA:
        ts.active[column] = code;
        remember(MODM_TONE_PORTA);
        break;
    default:
        break;
    }
}

void ModulePlayer::tick_effects(ModTrackState& ts)
{
    tick_effect(ts, 0);
    tick_effect(ts, 1);
    if (ts.voice != nullptr) {
        ts.voice->volume = ts.volume * ts.channel_volume;
        if ((ts.voice->flags & MODV_OWN_PANNING) == 0) {
            ts.voice->panning = ts.panning;
        }
    }
}

void ModulePlayer::tick_effect(ModTrackState& ts, int column)
{
    const uint32_t fmt = mod_.format_flags;
    const bool fine_volume = (fmt & MODF_FINE_VOLUME) != 0;
    const bool first_volume = (fmt & MODF_FIRST_TICK_VOLUME) != 0;
    switch (ts.active[column]) {
    case MODC_VOLUME_SLIDE:
    case MODC_VOLUME_SLIDE2:
        ts.volume = slide(ts.volume, ts.memory[MODM_VOLUME_SLIDE], {64, 1, fine_volume, first_volume}, first_tick());
        break;
    case MODC_CHANNEL_SLIDE:
        ts.channel_volume = slide(ts.channel_volume, ts.memory[MODM_CHANNEL_VOLUME], {64, 1, fine_volume, first_volume},
                                  first_tick());
        break;
    case MODC_GLOBAL_SLIDE: {
        const int32_t k = (fmt & MODF_GLOBAL_SLIDE_X2) != 0 ? 2 : 1;
        global_volume_ = slide(global_volume_, ts.memory[MODM_GLOBAL_VOLUME], {128, k, fine_volume, first_volume},
                               first_tick());
        break;
    }
    case MODC_PANNING_SLIDE: {
        const SlideRule r{255, (fmt & MODF_PANNING_SLIDE_X4) != 0 ? 4 : 1, (fmt & MODF_FINE_PANNING) != 0,
                          (fmt & MODF_FIRST_TICK_PANNING) != 0};
        ts.panning = slide(ts.panning, ts.memory[MODM_PANNING], r, first_tick());
        break;
    }
    case MODC_PORTA_UP:
        porta_tick(ts, column, -1);
        break;
    case MODC_PORTA_DOWN:
        porta_tick(ts, column, 1);
        break;
    case MODC_TONE_PORTA:
        tone_porta_tick(ts, column);
        break;
    case MODC_TONE_PORTA_SLIDE:
        ts.volume = slide(ts.volume, ts.memory[MODM_VOLUME_SLIDE], {64, 1, fine_volume, first_volume}, first_tick());
        tone_porta_tick(ts, column);
        break;
    default:
        break;
    }
}

void ModulePlayer::porta_tick(ModTrackState& ts, int column, int32_t sign)
{
    ModChanState* const v = ts.voice;
    if (v == nullptr) {
        return;
    }
    const uint8_t m = ts.memory[MODM_PORTA];
    int64_t step = 0;
    if ((mod_.format_flags & MODF_FINE_PORTA) != 0 && m >= 0xE0) {
        step = m >= 0xF0 ? (m & 15) * 4 : (m & 15);
        ts.active[column] = 0;
    } else if (!first_tick() || (mod_.format_flags & MODF_FIRST_TICK_PORTA) != 0) {
        step = int64_t(m) * 4;
    }
    v->period = clamp_period(v->period + sign * step);
}

void ModulePlayer::tone_porta_tick(ModTrackState& ts, int column)
{
    ModChanState* const v = ts.voice;
    if (v == nullptr) {
        return;
    }
    bool done = v->target < 1;
    if (!done && (!first_tick() || (mod_.format_flags & MODF_FIRST_TICK_PORTA) != 0)) {
        const int32_t step = ts.memory[MODM_TONE_PORTA] * 4;
        if (v->period < v->target) {
            v->period = std::min(v->period + step, v->target);
        } else {
            v->period = std::max(v->period - step, v->target);
        }
        done = v->period == v->target;
    }
    if (done) {
        v->target = 0;
        ts.active[column] = ts.active[column] == MODC_TONE_PORTA_SLIDE ? MODC_VOLUME_SLIDE : 0;
    }
}

ModChanState* ModulePlayer::take_voice()
{
    for (ModChanState* v = channel_state_; v != nullptr; v = v->next) {
        if (v->track == nullptr) {
            return v;
        }
    }
    void* const p = mod_alloc_bytes(sizeof(ModChanState), "ModChanState");
    if (p == nullptr) {
        return nullptr;
    }
    ModChanState* const v = new (p) ModChanState();
    v->next = channel_state_;
    channel_state_ = v;
    return v;
}

void ModulePlayer::start_voice(ModTrackState& ts, ModChanState& copy)
{
    copy.channel = 0;
    ModChanState* reused = nullptr;
    if (ModChanState* const old = ts.voice; old != nullptr) {
        switch (ts.new_note_action) {
        case MOD_NNA_CUT:
            reused = old;
            copy.channel = old->channel;
            break;
        case MOD_NNA_OFF:
            release_voice(*old);
            break;
        case MOD_NNA_FADE:
            old->start_fade();
            break;
        default:
            break;
        }
        if (reused == nullptr) {
            if (old->volume == 0) {
                device_->channel_stop(old->channel);
            } else {
                old->place |= MODV_BACKGROUND;
                device_->channel_set_priority(old->channel, start_priority(*old) * 0.5f, priority_ * 0.6f * 0.5f);
            }
        }
    }
    duplicate_check(ts, copy);

    ModChanState* const v = reused != nullptr ? reused : take_voice();
    if (v == nullptr) {
        print_string(P_MESSAGE, "ModPlay: Channel state allocation failed !");
        ts.voice = nullptr;
        return;
    }
    ModChanState* const next = v->next;
    *v = copy;
    v->next = next;
    v->track = &ts;
    v->place = 0;
    ts.voice = v;
    if (!device_->channel_valid(v->channel)) {
        v->channel = device_->channel_choose(priority_ * 1.2f);
        if (v->channel == 0) {
            print_string(P_MESSAGE, "ModPlay: No free channel");
        }
    }
    device_->channel_hold(v->channel, 4);
}

void ModulePlayer::duplicate_check(ModTrackState& ts, const ModChanState& copy)
{
    const ModInstrument* const inst = mod_.instrument(copy.instrument);
    const uint8_t type = inst != nullptr ? inst->duplicate_type : MOD_DCT_OFF;
    if (type == MOD_DCT_OFF) {
        return;
    }
    for (ModChanState* v = channel_state_; v != nullptr; v = v->next) {
        if (v->track != &ts || !v->background()) {
            continue;
        }
        if (device_->channel_finished(v->channel) != 0) {
            free_voice(*v);
            continue;
        }
        const bool same = v->instrument == copy.instrument &&
                          (type != MOD_DCT_NOTE || v->note == copy.note) &&
                          (type != MOD_DCT_SAMPLE || v->sample == copy.sample);
        if (!same) {
            continue;
        }
        switch (inst->duplicate_action) {
        case MOD_DCA_CUT:
            device_->channel_stop(v->channel);
            free_voice(*v);
            break;
        case MOD_DCA_OFF:
            release_voice(*v);
            break;
        default:
            v->start_fade();
            break;
        }
    }
}

void ModulePlayer::release_voice(ModChanState& v)
{
    for (ModEnvState& e : v.env) {
        e.release();
    }
    const ModEnvState& volume = v.env[MOD_ENV_VOLUME];
    if ((mod_.format_flags & MODF_INSTRUMENT_MODE) == 0 || !volume.on() || volume.looping()) {
        v.start_fade();
    }
    const ModSample* const s = mod_.sample(v.sample);
    if (s != nullptr && (s->flags & MODS_SUSTAIN) != 0) {
        if ((s->flags & MODS_LOOP) != 0) {
            const uint32_t bidi = (s->flags & MODS_PINGPONG) != 0 ? SDSF_BIDI : 0;
            device_->channel_set_loop(v.channel, SDSF_LOOPED | bidi, s->loop_start, s->loop_end);
        } else {
            device_->channel_set_loop(v.channel, 0, s->loop_start, s->length);
        }
    }
}

void ModulePlayer::free_voice(ModChanState& v)
{
    v.channel = 0;
    if (v.track != nullptr && v.track->voice == &v) {
        v.track->voice = nullptr;
    }
    v.track = nullptr;
}

void ModulePlayer::update_voices()
{
    const uint32_t fmt = mod_.format_flags;
    const bool instrument_mode = (fmt & MODF_INSTRUMENT_MODE) != 0;
    for (ModChanState* v = channel_state_; v != nullptr; v = v->next) {
        if (v->track == nullptr) {
            continue;
        }
        const bool audible = !v->background() || (v->volume > 0 && v->fade > 0);
        if (!audible || device_->channel_finished(v->channel) != 0) {
            free_voice(*v);
            continue;
        }
        const bool volume_running = v->env[MOD_ENV_VOLUME].step();
        v->env[MOD_ENV_PANNING].step();
        v->env[MOD_ENV_PITCH].step();
        if (instrument_mode && v->env[MOD_ENV_VOLUME].on() && !volume_running) {
            v->start_fade();
        }
        const ModInstrument* const inst = mod_.instrument(v->instrument);
        if (v->fading() && inst != nullptr) {
            v->fade -= int32_t(std::min<uint32_t>(inst->fadeout, 0x10000));
            if (v->fade <= 0) {
                v->fade = 0;
                v->flags &= uint8_t(~MODV_FADING);
                if (instrument_mode) {
                    device_->channel_stop(v->channel);
                    if (!v->background()) {
                        v->track->last_note = MOD_NONE;
                    }
                }
            }
        }
        float volume = float(v->volume * v->env[MOD_ENV_VOLUME].value()) * music_volume_ * 0x1p-20f *
                       float(v->fade * global_volume_) * 0x1p-23f;
        if (inst != nullptr) {
            volume *= inst->global_volume;
        }
        if (const ModSample* const s = mod_.sample(v->sample); s != nullptr) {
            volume *= s->global_volume;
        }
        const float q = float(v->panning) * (1.0f / 127.5f) - 1.0f;
        const float e = float(v->env[MOD_ENV_PANNING].value());
        const float pan = (q + (1.0f - std::fabs(q)) * e / 256.0f) * separation_;
        device_->channel_set_frequency(v->channel, mod_period_hz(v->period, (fmt & MODF_LINEAR) != 0));
        device_->channel_set_volume(v->channel, volume);
        device_->channel_set_pan(v->channel, pan);
    }
}
