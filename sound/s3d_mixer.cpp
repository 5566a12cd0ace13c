#include "sound/s3d_mixer.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "sound/mix_echo.h"
#include "sound/mixer.h"

#include <cmath>
#include <new>

namespace {

struct EchoTap {
    float delay;
    float gain;
    float damping;
    int swap;
};

struct Environment {
    EchoTap taps[4];
    int count;
    float dry;
    float wet;
    float feedback;
};

const Environment environments[S3D_ENVIRONMENTS - 1] = {
    {{{0.19f, 0.4f, 5.0f, 0}, {0.23f, -0.31f, 7.0f, 1}, {0.25f, -0.23f, 10.0f, 0}, {0.28f, 0.16f, 15.0f, 1}},
     4, 0.6f, 0.6f, 1.0f},
    {{{0.3f, 0.54f, 3.0f, 0}, {0.43f, 0.31f, 5.0f, 1}}, 2, 0.5f, 0.7f, 0.5f},
    {{{0.01f, 0.4f, 0.0f, 1}, {0.023f, 0.31f, 0.0f, 0}, {0.12f, -0.23f, 1.0f, 0}, {0.25f, 0.11f, 0.7f, 1}},
     4, 0.5f, 0.7f, 0.8f},
};

uint32_t mode_of(const S3DMixSource& s) { return s.flags & S3DM_MODE_MASK; }

} // namespace

S3DMixSource::~S3DMixSource()
{
    K_ASSERT(!sample);
}

void S3DMixSource::stop() { flags |= S3DM_REMOVE; }
void S3DMixSource::release() { flags |= S3DM_RELEASED; }

void S3DMixSource::set_position(float x, float y, float z)
{
    position[0] = x;
    position[1] = y;
    position[2] = z;
}

void S3DMixSource::set_velocity(float x, float y, float z)
{
    velocity[0] = x;
    velocity[1] = y;
    velocity[2] = z;
}

void S3DMixSource::set_distances(float minimum, float maximum)
{
    min_distance = minimum;
    max_distance = maximum;
}

void S3DMixSource::set_volume(float v) { volume = v; }
void S3DMixSource::set_frequency(float factor) { frequency = factor; }

S3DMixer::~S3DMixer()
{
    remove_environment();
    K_ASSERT(!sources || mixer_);
    while (sources != nullptr) {
        S3DMixSource* const s = static_cast<S3DMixSource*>(sources);
        sources = s->next;
        s->next = nullptr;
        remove_source(s);
    }
}

void S3DMixer::attach(Mixer* mixer)
{
    K_ASSERT(mixer && !mixer_);
    mixer_ = mixer;
    mat_identity(listener_);
}

void S3DMixer::set_listener(const Matrix& listener) { listener_ = listener; }

void S3DMixer::set_listener_velocity(float x, float y, float z)
{
    listener_velocity_[0] = x;
    listener_velocity_[1] = y;
    listener_velocity_[2] = z;
}

S3DSource* S3DMixer::create_source(SDSample* sample, float rate, uint32_t flags)
{
    S3DMixSource* const s = new (std::nothrow) S3DMixSource;
    if (s == nullptr) {
        return nullptr;
    }
    s->sample = sample;
    s->start_time = -1.0;
    s->flags = (sample->flags & SDSF_LOOPED) != 0 ? S3DM_LOOPED : S3DM_ONCE;
    K_ASSERT(!(s->flags & flags));
    s->flags |= flags;
    s->rate = rate;
    return s;
}

void S3DMixer::remove_source(S3DMixSource* s)
{
    K_ASSERT(!s->next);
    K_ASSERT(sources != s);
    if (mixer_ != nullptr && s->channel != 0) {
        mixer_->channel_stop(s->channel);
    }
    s->sample = nullptr;
    delete s;
}

void S3DMixer::begin_frame(float separation)
{
    for (S3DSource* base = sources; base != nullptr; base = base->next) {
        S3DMixSource& s = *static_cast<S3DMixSource*>(base);
        if ((s.flags & S3DF_LISTENER_RELATIVE) != 0) {
            s.pan = 0.0f;
            s.gain = s.volume;
        } else {
            const Vector p{s.position[0], s.position[1], s.position[2]};
            Vector l;
            mat_rotate_vector(l, listener_, p);
            const float d = std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z);
            // At the listener the direction is undefined: both sides at full level.
            s.pan = d > 0.0f ? separation * l.x / d : SD_UNPANNED;
            float attenuation = 0.0f;
            if (d <= s.min_distance) {
                attenuation = 1.0f;
            } else if (d < s.max_distance) {
                attenuation = (s.max_distance - d) / (s.max_distance - s.min_distance);
            }
            s.gain = attenuation * s.volume;
        }
        s.priority = s.gain * s.volume_priority + s.base_priority;
    }
}

bool S3DMixer::restart(S3DMixSource& s, float k, double now)
{
    int64_t offset = float_to_int_trunc((now - s.start_time) * s.frequency * s.rate);
    if (mode_of(s) == S3DM_LOOPED) {
        offset = std::min<int64_t>(offset, s.sample->loop_start);
    } else if (offset >= s.sample->loop_end) {
        // Over: taking a channel now would only silence another sound.
        s.channel = 0;
        return true;
    }
    const int32_t channel = mixer_->channel_choose(k * s.priority);
    if (channel == 0) {
        return false;
    }
    s.channel = channel;
    mixer_->channel_start(channel, s.sample, k * s.base_priority, k * s.volume_priority);
    if (offset > 0) {
        mixer_->channel_set_position(channel, static_cast<int32_t>(offset), 1);
    }
    if ((s.flags & S3DF_NO_REVERB) == 0 && reverb_ != nullptr) {
        mixer_->channel_route(channel, reverb_);
    }
    return true;
}

void S3DMixer::update(float k, double now, int32_t* lines)
{
    K_ASSERT(mixer_);
    S3DSource** link = &sources;
    while (*link != nullptr) {
        S3DMixSource& s = *static_cast<S3DMixSource*>(*link);
        // A source released before its first update has not played yet:
        // its missing channel does not mean its sound is over.
        if ((s.flags & S3DM_RELEASED) != 0 && s.start_time >= 0.0) {
            if (mixer_->channel_finished(s.channel)) {
                s.flags |= S3DM_REMOVE;
            } else if (mode_of(s) != S3DM_ONCE) {
                s.flags = (s.flags & ~S3DM_MODE_MASK) | S3DM_ONCE;
                mixer_->channel_set_loop(s.channel, 0, 0, s.sample->length);
            }
        }
        if ((s.flags & S3DM_REMOVE) != 0) {
            *link = s.next;
            s.next = nullptr;
            remove_source(&s);
            continue;
        }
        if (s.start_time < 0.0) {
            s.start_time = now;
        }
        if (!mixer_->channel_valid(s.channel) && !restart(s, k, now)) {
            return;
        }
        mixer_->channel_set_volume(s.channel, s.gain);
        mixer_->channel_set_pan(s.channel, s.pan);
        mixer_->channel_set_frequency(s.channel, float_to_int_trunc(static_cast<double>(s.frequency) * s.rate));
        if (lines != nullptr && *lines > 0) {
            print_format(P_MESSAGE, "  - <%.2f; %.2f> ; %.2f (%c%c%c) - %.1fsec", s.gain, s.pan, s.priority,
                         mode_of(s) == S3DM_ONCE ? '-' : 'L', (s.flags & S3DF_LISTENER_RELATIVE) != 0 ? '1' : '3',
                         (s.flags & S3DF_NO_REVERB) != 0 ? '-' : 'E', now - s.start_time);
            --*lines;
        }
        link = &s.next;
    }
}

void S3DMixer::remove_environment()
{
    if (echo_ != nullptr) {
        if (reverb_ != nullptr) {
            reverb_->remove_filter(echo_);
        }
        delete echo_;
        echo_ = nullptr;
    }
    if (reverb_ != nullptr) {
        mixer_->buffer_delete(reverb_);
        reverb_ = nullptr;
    }
}

bool S3DMixer::build_environment(int32_t n)
{
    if (n < 1 || n >= S3D_ENVIRONMENTS) {
        return false;
    }
    reverb_ = mixer_->buffer_create();
    if (reverb_ == nullptr) {
        return false;
    }
    SDSettings settings;
    mixer_->get_settings(&settings);
    echo_ = new (std::nothrow) MixEcho(settings.rate);
    if (echo_ == nullptr) {
        return false;
    }
    const Environment& e = environments[n - 1];
    for (int i = 0; i < e.count; ++i) {
        if (!echo_->add_tap(e.taps[i].delay, e.taps[i].gain, e.taps[i].damping, e.taps[i].swap)) {
            return false;
        }
    }
    return echo_->build(e.dry, e.wet, e.feedback) != 0;
}

int S3DMixer::set_environment(int32_t n)
{
    K_ASSERT(mixer_);
    remove_environment();
    if (n == 0) {
        return 1;
    }
    if (!build_environment(n)) {
        remove_environment();
        return 0;
    }
    reverb_->add_filter(echo_, false);
    for (S3DSource* base = sources; base != nullptr; base = base->next) {
        const S3DMixSource& s = *static_cast<const S3DMixSource*>(base);
        if ((s.flags & S3DF_NO_REVERB) == 0 && mixer_->channel_valid(s.channel)) {
            mixer_->channel_route(s.channel, reverb_);
        }
    }
    return 1;
}
