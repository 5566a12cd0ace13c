#include "sound/sound_device.h"

#include "core/kassert.h"
#include "core/kheap.h"

#include <cmath>
#include <new>

SDCaps SDCaps::none()
{
    SDCaps c;
    for (int32_t& p : c.pairs) {
        p = -1;
    }
    c.max_channels = 0;
    c.default_channels = 0;
    c.supported_flags = 0;
    c.default_flags = 0;
    c.max_rate = 0;
    c.default_rate = 0;
    return c;
}

SoundDevice::~SoundDevice()
{
    while (timers_ != nullptr) {
        SDTimer* const t = timers_;
        timers_ = t->next;
        delete t;
    }
}

int SoundDevice::peek_output(void*, int32_t) { return 0; }
MixingBuffer* SoundDevice::buffer_create() { return nullptr; }
void SoundDevice::buffer_delete(MixingBuffer*) {}
MixingBuffer* SoundDevice::main_buffer() { return nullptr; }
int SoundDevice::channel_route(int32_t, MixingBuffer*) { return 0; }

namespace {

bool rate_usable(float rate) { return std::isfinite(rate) && rate > 0.0f && rate <= SD_MAX_TIMER_RATE; }

} // namespace

void SoundDevice::update_timer_period()
{
    float shortest = 0.0f;
    for (const SDTimer* t = timers_; t != nullptr; t = t->next) {
        if (t->owner != nullptr && (shortest == 0.0f || t->period < shortest)) {
            shortest = t->period;
        }
    }
    set_timer_period(shortest);
}

int SoundDevice::timer_add(SoundDeviceClient* owner, float rate)
{
    if (owner == nullptr || !rate_usable(rate)) {
        return 0;
    }
    void* const p = kheap_alloc(sizeof(SDTimer), KHEAP_FROM_BOTTOM, "SDTimer");
    if (p == nullptr) {
        return 0;
    }
    SDTimer* const t = new (p) SDTimer;
    t->owner = owner;
    t->period = 1.0f / rate;
    t->next = timers_;
    timers_ = t;
    update_timer_period();
    return 1;
}

int SoundDevice::timer_set_rate(SoundDeviceClient* owner, float rate)
{
    if (owner == nullptr || !rate_usable(rate)) {
        return 0;
    }
    for (SDTimer* t = timers_; t != nullptr; t = t->next) {
        if (t->owner == owner) {
            t->period = 1.0f / rate;
            update_timer_period();
            return 1;
        }
    }
    return 0;
}

void SoundDevice::timer_remove(SoundDeviceClient* owner)
{
    if (owner == nullptr) {
        return;
    }
    for (SDTimer** link = &timers_; *link != nullptr; link = &(*link)->next) {
        SDTimer* const t = *link;
        if (t->owner == owner) {
            if (dispatching_) {
                // A tick that removes its own timer: the dispatcher frees the record.
                t->owner = nullptr;
            } else {
                *link = t->next;
                delete t;
            }
            break;
        }
    }
    update_timer_period();
}

void SoundDevice::timer_dispatch(float seconds)
{
    dispatching_ = true;
    for (SDTimer* t = timers_; t != nullptr; t = t->next) {
        t->accumulated += seconds;
        while (t->owner != nullptr && t->accumulated >= t->period) {
            t->accumulated -= t->period;
            t->owner->timer_tick();
        }
    }
    dispatching_ = false;
    for (SDTimer** link = &timers_; *link != nullptr;) {
        SDTimer* const t = *link;
        if (t->owner == nullptr) {
            *link = t->next;
            delete t;
        } else {
            link = &t->next;
        }
    }
}

bool SoundDevice::device_sample_create(SDSample* sample)
{
    K_ASSERT(sample);
    sample->sdi = nullptr;
    return sample_create(sample);
}

int SoundDevice::device_sample_free(SDSample* sample)
{
    K_ASSERT(sample);
    return sample_remove(sample);
}

int SoundDevice::stream_find_channel(int32_t channel, int* entry) const
{
    if (channel == 0) {
        return -1;
    }
    for (int s = 0; s < SDSTREAM_COUNT; ++s) {
        for (int i = 0; i < streams_[s].count; ++i) {
            if (streams_[s].entry[i].channel == channel) {
                if (entry != nullptr) {
                    *entry = i;
                }
                return s;
            }
        }
    }
    return -1;
}

int SoundDevice::stream_find_sample(const SDSample* sample, int* entry) const
{
    if (sample == nullptr) {
        return -1;
    }
    for (int s = 0; s < SDSTREAM_COUNT; ++s) {
        for (int i = 0; i < streams_[s].count; ++i) {
            if (streams_[s].entry[i].sample == sample) {
                if (entry != nullptr) {
                    *entry = i;
                }
                return s;
            }
        }
    }
    return -1;
}

int32_t SoundDevice::stream_create(SoundDeviceClient* source, int32_t length, int32_t rate, int bits16,
                                   int is_unsigned, int count, int32_t* handles)
{
    if (count < 1 || count > SDSTREAM_CHANNELS || length < SD_MIN_STREAM_LENGTH || length > SD_MAX_SAMPLE_LENGTH) {
        return -1;
    }
    int slot = 0;
    while (slot < SDSTREAM_COUNT && streams_[slot].count != 0) {
        ++slot;
    }
    if (slot == SDSTREAM_COUNT) {
        return -1;
    }
    SDStream& s = streams_[slot];
    s = SDStream{};
    s.source = source;
    s.rate = rate;
    s.bits16 = bits16 != 0 ? 1 : 0;
    s.is_unsigned = is_unsigned != 0 ? 1 : 0;
    s.length = length;

    // Channels taken so far go back when a later step fails; the slot stays free.
    int32_t taken[SDSTREAM_CHANNELS] = {};
    const auto give_back = [&](int n) {
        for (int i = 0; i < n; ++i) {
            channel_stop(taken[i]);
            channel_hold(taken[i], 0);
        }
        s = SDStream{};
        return -1;
    };
    for (int i = 0; i < count; ++i) {
        taken[i] = channel_choose(24.0f);
        if (taken[i] == 0) {
            return give_back(i);
        }
        channel_hold(taken[i], 16);
        s.entry[i].channel = taken[i];
    }
    s.count = count;
    if (stream_alloc_buffers(slot) == 0) {
        return give_back(count);
    }
    channel_set_frequency(s.entry[0].channel, rate);
    for (int i = 0; i < count; ++i) {
        if (handles != nullptr) {
            handles[i] = s.entry[i].channel;
        }
        channel_hold(s.entry[i].channel, -1);
        channel_set_volume(s.entry[i].channel, 0.0f);
    }
    for (int i = count - 1; i >= 0; --i) {
        channel_start(s.entry[i].channel, s.entry[i].sample, 16.0f, 8.0f);
    }
    return static_cast<int32_t>(SDSTREAM_MAGIC | static_cast<uint32_t>(slot));
}

int SoundDevice::stream_close(int32_t stream)
{
    if ((static_cast<uint32_t>(stream) & SDSTREAM_MAGIC_MASK) != SDSTREAM_MAGIC) {
        return 0;
    }
    const int slot = static_cast<int>(static_cast<uint32_t>(stream) & 0xFF);
    K_ASSERT(slot >= 0 && slot < SDSTREAM_COUNT);
    SDStream& s = streams_[slot];
    if (s.count == 0) {
        return 0;
    }
    for (int i = 0; i < s.count; ++i) {
        channel_stop(s.entry[i].channel);
    }
    stream_free_buffers(slot);
    for (int i = 0; i < s.count; ++i) {
        channel_hold(s.entry[i].channel, 0);
    }
    s.count = 0;
    return 1;
}

void SoundDevice::stream_feed(int slot)
{
    K_ASSERT(slot >= 0 && slot < SDSTREAM_COUNT);
    SDStream& s = streams_[slot];
    if (s.count == 0 || s.source == nullptr) {
        return;
    }
    const int32_t handle = static_cast<int32_t>(SDSTREAM_MAGIC | static_cast<uint32_t>(slot));
    const int32_t width = s.bits16 != 0 ? 2 : 1;
    void* out[SDSTREAM_CHANNELS] = {};
    const auto aim = [&](int32_t pos) {
        for (int i = 0; i < s.count; ++i) {
            out[i] = static_cast<uint8_t*>(s.entry[i].data) + static_cast<size_t>(pos) * width;
        }
    };
    // A source that claims more than it was asked for is held to what it was asked.
    const auto ask = [&](int32_t want) {
        const int32_t got = s.source->fill_stream(out, handle, want);
        return got > want ? want : got;
    };

    aim(s.last_pos);
    if (s.primed == 0) {
        // A new ring holds silence and its channels already play it: the
        // first feed fills it ahead of them, so the data is heard at once.
        // The last sample waits for the next feed, as a whole lap would bring
        // the fill position back to where it was, which reads as nothing fed.
        s.primed = 1;
        const int32_t got = ask(s.length - 1 - s.last_pos);
        if (got < 0) {
            stream_close(handle);
            return;
        }
        s.last_pos += got;
        return;
    }
    if (s.last_pos > s.play_pos) {
        const int32_t got = ask(s.length - s.last_pos);
        if (got < 0) {
            stream_close(handle);
            return;
        }
        s.last_pos += got;
        if (s.last_pos >= s.length) {
            s.last_pos -= s.length;
            K_ASSERT(s.last_pos == 0);
            aim(0);
        }
    }
    if (s.last_pos + s.length / 8 < s.play_pos) {
        const int32_t got = ask(s.play_pos - s.last_pos);
        if (got < 0) {
            stream_close(handle);
            return;
        }
        s.last_pos += got;
        K_ASSERT(s.last_pos < s.length);
    }
}
