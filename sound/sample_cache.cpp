#include "sound/sample_cache.h"

#include "core/compare_nocase.h"
#include "core/print.h"
#include "fsys/fsys.h"
#include "sound/sc_codec.h"
#include "sound/sc_sample.h"
#include "sound/sound_device.h"

#include <cstring>
#include <new>

namespace {

// Fills what a short read left with silence, so no stale memory is played.
void fill_silence(const SCSample& s, void* destination, int32_t from)
{
    if (from >= s.frames) {
        return;
    }
    uint8_t* const p = static_cast<uint8_t*>(destination) + static_cast<size_t>(from) * s.bytes;
    const size_t n = static_cast<size_t>(s.frames - from) * s.bytes;
    std::memset(p, (s.flags & SCSF_UNSIGNED) != 0 && s.bytes == 1 ? 0x80 : 0, n);
}

} // namespace

SampleCache::SampleCache(SoundDevice* device) : device_(device) {}

SampleCache::~SampleCache()
{
    delete spare_;
    spare_ = nullptr;
    clear();
}

SCSample* SampleCache::get(const char* name, int codec_index)
{
    for (SCSample* s = samples_; s != nullptr; s = s->next) {
        if (compare_nocase(s->name, name) == 0) {
            return s;
        }
    }
    if (std::strlen(name) > static_cast<size_t>(SC_NAME_MAX)) {
        print_format(P_ERROR, "Sound: Sample name '%s' is longer than %d characters", name, SC_NAME_MAX);
        return nullptr;
    }
    if (codec_index < -1 || codec_index >= SC_CODECS || fsys == nullptr) {
        return nullptr;
    }
    FileStream* const f = fsys->open(name, FSYS_BINARY);
    if (f == nullptr) {
        return nullptr;
    }
    uint8_t header[SC_HEADER_BYTES];
    const int32_t length = static_cast<int32_t>(f->read(header, 1, sizeof header));
    SCSample* s = spare_ != nullptr ? spare_ : new (std::nothrow) SCSample;
    spare_ = nullptr;
    if (s == nullptr) {
        f->close();
        return nullptr;
    }
    s->stream = f;
    std::strcpy(s->name, name);
    // The automatic choice asks row 0 only.
    SCCodec* const codec = sc_codec_table[codec_index < 0 ? SC_CODEC_WAV : codec_index];
    sc_sample_clear(*s);
    const int accepted = codec->parse(s, header, length);
    f->close();
    s->stream = nullptr;
    if (!accepted) {
        spare_ = s;
        return nullptr;
    }
    if ((s->flags & SCSF_BIDI) != 0) {
        s->flags |= SCSF_LOOPED;
    }
    SDSample* const d = new (std::nothrow) SDSample;
    if (d == nullptr) {
        codec->release(s);
        spare_ = s;
        return nullptr;
    }
    d->owner = 0;
    d->source = this;
    d->loop_start = s->loop_start;
    d->loop_end = s->loop_end;
    d->length = s->frames;
    d->flags = static_cast<uint8_t>((s->bytes == 2 ? SDSF_16BIT : 0) | ((s->flags & SCSF_UNSIGNED) != 0 ? SDSF_UNSIGNED : 0) |
                                    ((s->flags & SCSF_LOOPED) != 0 ? SDSF_LOOPED : 0) |
                                    ((s->flags & SCSF_BIDI) != 0 ? SDSF_BIDI : 0));
    if (!device_->device_sample_create(d)) {
        delete d;
        codec->release(s);
        spare_ = s;
        return nullptr;
    }
    s->device_sample = d;
    s->codec = codec;
    s->next = samples_;
    samples_ = s;
    return s;
}

int SampleCache::read_sample_data(SDSample* sample, void* destination)
{
    SCSample* s = samples_;
    while (s != nullptr && s->device_sample != sample) {
        s = s->next;
    }
    if (s == nullptr || fsys == nullptr) {
        return 0;
    }
    FileStream* const f = fsys->open(s->name, FSYS_BINARY);
    if (f == nullptr) {
        return 0;
    }
    s->stream = f;
    const SCDest dests[] = {{0, destination}, {SC_END_OF_LIST, nullptr}};
    const int32_t got = s->codec->load(s, 0, s->frames, dests);
    f->close();
    s->stream = nullptr;
    if (got < 0) {
        return 0;
    }
    fill_silence(*s, destination, got);
    print_format(P_DEBUG2, "Sample '%s' cached", s->name);
    return 1;
}

void SampleCache::free_sample(SCSample* s)
{
    if (s->device_sample != nullptr) {
        device_->device_sample_free(s->device_sample);
        delete s->device_sample;
    }
    if (s->codec != nullptr) {
        s->codec->release(s);
    }
    delete s;
}

int SampleCache::remove(SCSample* sample)
{
    for (SCSample** link = &samples_; *link != nullptr; link = &(*link)->next) {
        if (*link == sample) {
            *link = sample->next;
            free_sample(sample);
            return 1;
        }
    }
    return 0;
}

void SampleCache::clear()
{
    while (samples_ != nullptr) {
        SCSample* const s = samples_;
        samples_ = s->next;
        free_sample(s);
    }
}
