// The mixer's samples and the ring buffers of the device's streams.
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "sound/mix_loops.h"
#include "sound/mix_sample.h"
#include "sound/mixer.h"

#include <cstring>
#include <new>

MixSample* Mixer::mix_sample(const SDSample* sample) const
{
    return sample != nullptr ? static_cast<MixSample*>(sample->sdi) : nullptr;
}

bool Mixer::sample_create(SDSample* sample)
{
    if (sample->length < 1 || sample->length > SD_MAX_SAMPLE_LENGTH) {
        print_format(P_WARNING, "Mixer: Can't play a sample of %d samples !", sample->length);
        return false;
    }
    MixSample* const s = MixSample::create(sample);
    if (s == nullptr) {
        return false;
    }
    sample->sdi = s;
    return true;
}

int Mixer::sample_remove(SDSample* sample)
{
    MixSample* const s = mix_sample(sample);
    if (s == nullptr || (s->flags & MIXSM_MAGIC) != MIXS_MAGIC) {
        print_string(P_ERROR, "Mixer: Damaged sample magic in sample_remove() !");
        return 0;
    }
    K_ASSERT(s->sdsmp == sample);
    for (int i = 0; i < channel_count_; ++i) {
        MixChannel& ch = channels_[i];
        if (ch.sample == s) {
            ch.flags &= ~MIXCF_PLAYING;
            ch.sample = nullptr;
        }
    }
    s->flush();
    if (s->data != nullptr) {
        s->free_kept_data();
    }
    sample->sdi = nullptr;
    s->flags &= MIXSM_MAGIC;
    delete s;
    return 1;
}

int Mixer::sample_ready(SDSample* sample)
{
    MixSample* const s = mix_sample(sample);
    if (s == nullptr || (s->flags & MIXSM_MAGIC) != MIXS_MAGIC) {
        return 0;
    }
    return s->data_present() ? 1 : 0;
}

int Mixer::stream_alloc_buffers(int slot)
{
    SDStream& st = streams_[slot];
    const int32_t width = st.bits16 != 0 ? 2 : 1;
    const size_t bytes = static_cast<size_t>(st.length) * width + MIX_GUARD_BYTES;
    int made = 0;
    for (; made < st.count; ++made) {
        SDStreamEntry& e = st.entry[made];
        void* const p = kheap_alloc(sizeof(SDSample), KHEAP_FROM_BOTTOM, "SDSample");
        if (p == nullptr) {
            break;
        }
        SDSample* const d = new (p) SDSample;
        d->loop_start = 0;
        d->loop_end = st.length;
        d->length = st.length;
        d->flags = static_cast<uint8_t>(SDSF_LOOPED | (st.is_unsigned != 0 ? SDSF_UNSIGNED : 0) |
                                        (st.bits16 != 0 ? SDSF_16BIT : 0));
        if (!device_sample_create(d)) {
            kheap_release(d);
            break;
        }
        MixSample* const s = mix_sample(d);
        uint8_t* const data = static_cast<uint8_t*>(kheap_alloc(bytes, KHEAP_FROM_BOTTOM, "Stream data"));
        if (data == nullptr) {
            sample_remove(d);
            kheap_release(d);
            break;
        }
        fill_silence(data, bytes, SDF_UNSIGNED | (width == 2 ? SDF_16BIT : 0));
        s->data = data;
        s->loop_start = 0;
        s->loop_end = st.length << MIX_FRACTION_BITS;
        s->length = st.length << MIX_FRACTION_BITS;
        s->flags = MIXS_MAGIC | (d->flags & 0x9D) | 0x382;
        e.sample = d;
        e.data = data;
    }
    if (made < st.count) {
        for (int i = 0; i < made; ++i) {
            sample_remove(st.entry[i].sample);
            kheap_release(st.entry[i].sample);
            st.entry[i].sample = nullptr;
            st.entry[i].data = nullptr;
        }
        return 0;
    }
    wrapped_[slot] = false;
    return 1;
}

void Mixer::stream_free_buffers(int slot)
{
    SDStream& st = streams_[slot];
    for (int i = 0; i < st.count; ++i) {
        SDStreamEntry& e = st.entry[i];
        if (e.sample != nullptr) {
            sample_remove(e.sample);
            kheap_release(e.sample);
        }
        e.sample = nullptr;
        e.data = nullptr;
    }
}

namespace {

// Signed source data to the unsigned form the loops read, samples [from, to).
void flip_signs(uint8_t* data, int32_t width, int32_t from, int32_t to)
{
    for (int32_t i = from; i < to; ++i) {
        data[static_cast<size_t>(i) * width + (width - 1)] ^= 0x80;
    }
}

} // namespace

void Mixer::stream_update(int slot)
{
    SDStream& st = streams_[slot];
    const MixChannel* const first = lookup(st.entry[0].channel);
    if (first != nullptr && (first->flags & MIXCF_PLAYING) != 0) {
        st.play_pos = first->pos >> MIX_FRACTION_BITS;
        // A pass that ends exactly on the ring's end leaves the position
        // there until the next pass turns it: that is the ring's start.
        if (st.play_pos >= st.length) {
            st.play_pos -= st.length;
        }
    }
    const int32_t before = st.last_pos;
    stream_feed(slot);
    if (st.count == 0) {
        return; // the source ended and the stream closed
    }
    const int32_t after = st.last_pos;
    const int32_t width = st.bits16 != 0 ? 2 : 1;
    if (after != before) {
        const bool flip = st.is_unsigned == 0;
        if (after < before) {
            wrapped_[slot] = true;
        }
        for (int i = 0; i < st.count && flip; ++i) {
            uint8_t* const data = static_cast<uint8_t*>(st.entry[i].data);
            if (after < before) {
                flip_signs(data, width, 0, after);
                flip_signs(data, width, before, st.length);
            } else {
                flip_signs(data, width, before, after);
            }
        }
    }
    if (wrapped_[slot] && after >= MIX_GUARD_BYTES / width) {
        for (int i = 0; i < st.count; ++i) {
            uint8_t* const data = static_cast<uint8_t*>(st.entry[i].data);
            std::memcpy(data + static_cast<size_t>(st.length) * width, data, MIX_GUARD_BYTES);
        }
        wrapped_[slot] = false;
    }
}
