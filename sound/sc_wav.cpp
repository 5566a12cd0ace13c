#include "sound/sc_wav.h"

#include "core/byte_order.h"
#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "fsys/file_stream.h"
#include "sound/ima_adpcm.h"
#include "sound/riff_reader.h"
#include "sound/sc_sample.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr int32_t FMT_MIN_LENGTH = 16;
constexpr int32_t FMT_IMA_LENGTH = 20;
constexpr int32_t CUE_POINT_BYTES = 24;

void free_ima(SCSample* s)
{
    SCImaState* const ima = static_cast<SCImaState*>(s->user);
    if (ima != nullptr) {
        delete[] ima->buffer;
        delete[] ima->raw;
        delete ima;
        s->user = nullptr;
    }
}

bool read_exact(FileStream* f, int64_t position, void* data, size_t bytes)
{
    if (f->tell() != position && f->seek(position, FSYS_SEEK_SET) != 0) {
        return false;
    }
    return f->read(data, 1, bytes) == bytes;
}

// The state of one parse: what "fmt " said and what has been seen.
struct WavParse {
    SCSample* s;
    bool have_fmt = false;
    bool have_data = false;
};

// 1 taken, 0 the file is refused.
int handle_fmt(WavParse& w, const RiffChunk& c, FileStream* f)
{
    SCSample* const s = w.s;
    if (w.have_fmt) {
        return 1;
    }
    uint8_t d[FMT_IMA_LENGTH] = {};
    if (c.length < FMT_MIN_LENGTH) {
        return 0;
    }
    const size_t want = std::min<size_t>(c.length, sizeof d);
    if (!read_exact(f, c.data_position(), d, want)) {
        return 0;
    }
    const int32_t tag = read_le16(d);
    const int32_t channels = read_le16(d + 2);
    const uint32_t rate = read_le32(d + 4);
    const int32_t block_align = read_le16(d + 12);
    const int32_t bits = read_le16(d + 14);
    if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IMA_ADPCM) {
        return 0;
    }
    // No frame has zero channels; a preset count must be met.
    if (channels == 0 || (s->channels != 0 && s->channels != channels)) {
        return 0;
    }
    if (rate == 0 || rate > static_cast<uint32_t>(INT32_MAX)) {
        return 0;
    }
    s->channels = channels;
    s->rate = static_cast<int32_t>(rate);
    s->format = tag;
    if (tag == WAVE_FORMAT_PCM) {
        s->bytes = (bits + 7) / 8;
        if (s->bytes < 1 || s->bytes > 2) {
            return 0;
        }
        if (s->bytes == 1) {
            s->flags |= SCSF_UNSIGNED;
        }
    } else {
        if (c.length < FMT_IMA_LENGTH || bits != 4) {
            return 0;
        }
        const int32_t spb = ima_samples_per_block(block_align, channels);
        if (spb == 0 || read_le16(d + 18) != spb) {
            return 0;
        }
        s->bytes = 2;
        SCImaState* const ima = new (std::nothrow) SCImaState;
        if (ima == nullptr) {
            return 0;
        }
        s->user = ima;
        ima->block_align = block_align;
        ima->samples_per_block = spb;
        ima->buffer = new (std::nothrow) int16_t[static_cast<size_t>(spb) * static_cast<size_t>(channels)];
        ima->raw = new (std::nothrow) uint8_t[static_cast<size_t>(block_align)];
        if (ima->buffer == nullptr || ima->raw == nullptr) {
            return 0;
        }
    }
    w.have_fmt = true;
    return 1;
}

int handle_fact(WavParse& w, const RiffChunk& c, FileStream* f)
{
    SCSample* const s = w.s;
    if (!w.have_fmt || s->format != WAVE_FORMAT_IMA_ADPCM || s->frames != 0 || c.length < 4) {
        return 1;
    }
    uint8_t d[4];
    if (!read_exact(f, c.data_position(), d, sizeof d)) {
        return 0;
    }
    const uint32_t frames = read_le32(d);
    if (frames > static_cast<uint32_t>(INT32_MAX)) {
        return 0;
    }
    s->frames = static_cast<int32_t>(frames);
    return 1;
}

int handle_data(WavParse& w, const RiffChunk& c)
{
    SCSample* const s = w.s;
    if (!w.have_fmt) {
        return 0;
    }
    s->data_offset = c.data_position();
    if (s->format == WAVE_FORMAT_PCM) {
        const int64_t frames = c.length / (static_cast<int64_t>(s->channels) * s->bytes);
        if (frames > INT32_MAX) {
            return 0;
        }
        s->frames = static_cast<int32_t>(frames);
    } else {
        const SCImaState* const ima = static_cast<const SCImaState*>(s->user);
        if (s->frames == 0) {
            return 0;
        }
        const int64_t held = (c.length / ima->block_align) * static_cast<int64_t>(ima->samples_per_block);
        if (held < s->frames) {
            return 0;
        }
    }
    s->loop_end = s->frames;
    w.have_data = true;
    return 1;
}

int handle_cue(WavParse& w, const RiffChunk& c, FileStream* f)
{
    SCSample* const s = w.s;
    if (!w.have_data || (s->flags & SCSF_LOOPED) != 0 || c.length < 4) {
        return 1;
    }
    uint8_t d[4 + 2 * CUE_POINT_BYTES];
    if (!read_exact(f, c.data_position(), d, 4)) {
        return 0;
    }
    const uint32_t count = std::min<uint32_t>(read_le32(d), 2);
    if (count == 0) {
        return 1;
    }
    if (static_cast<int64_t>(c.length) < 4 + int64_t{CUE_POINT_BYTES} * count ||
        !read_exact(f, c.data_position() + 4, d + 4, CUE_POINT_BYTES * count)) {
        return 0;
    }
    int64_t point[2] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* const p = d + 4 + CUE_POINT_BYTES * i;
        int64_t frame = read_le32(p + 20);
        if (s->format == WAVE_FORMAT_IMA_ADPCM) {
            const SCImaState* const ima = static_cast<const SCImaState*>(s->user);
            frame += static_cast<int64_t>(read_le32(p + 16) / static_cast<uint32_t>(ima->block_align)) *
                     ima->samples_per_block;
        }
        point[i] = std::clamp<int64_t>(frame, 0, s->frames);
    }
    if (count == 2 && point[1] < point[0]) {
        std::swap(point[0], point[1]);
    }
    const int64_t end = count == 2 ? point[1] : s->loop_end;
    // A loop that holds no frame would never move the playing position.
    if (point[0] >= end) {
        return 1;
    }
    s->loop_start = static_cast<int32_t>(point[0]);
    s->loop_end = static_cast<int32_t>(end);
    s->flags |= SCSF_LOOPED;
    return 1;
}

// Deals interleaved frames out to the channels' destinations.
void deal(const uint8_t* frames, int32_t n, int32_t channels, int32_t bytes, void* const* dest, int32_t offset)
{
    const size_t frame = static_cast<size_t>(channels) * static_cast<size_t>(bytes);
    for (int32_t ch = 0; ch < channels; ++ch) {
        if (dest[ch] == nullptr) {
            continue;
        }
        uint8_t* out = static_cast<uint8_t*>(dest[ch]) + static_cast<size_t>(offset) * static_cast<size_t>(bytes);
        const uint8_t* in = frames + static_cast<size_t>(ch) * static_cast<size_t>(bytes);
        for (int32_t i = 0; i < n; ++i, in += frame, out += bytes) {
            std::memcpy(out, in, static_cast<size_t>(bytes));
        }
    }
}

int32_t load_pcm(SCSample* s, int32_t first, int32_t count, void* const* dest)
{
    FileStream* const f = s->stream;
    const int64_t frame = static_cast<int64_t>(s->channels) * s->bytes;
    const int64_t at = s->data_offset + first * frame;
    if (f->tell() != at && f->seek(at, FSYS_SEEK_SET) != 0) {
        return 0;
    }
    if (s->channels == 1) {
        if (dest[0] == nullptr) {
            return count;
        }
        return static_cast<int32_t>(f->read(dest[0], static_cast<size_t>(s->bytes), static_cast<size_t>(count)));
    }
    // Read through a bounded block, so a long request needs no large buffer.
    constexpr int64_t BLOCK_BYTES = 65536;
    const int32_t per_block = static_cast<int32_t>(std::max<int64_t>(1, BLOCK_BYTES / frame));
    uint8_t* const block = static_cast<uint8_t*>(
        kheap_alloc(static_cast<size_t>(std::min(per_block, count) * frame), KHEAP_FROM_TOP, "WavLoadBuffer"));
    if (block == nullptr) {
        print_string(P_ERROR, "SCWav: Temporary allocation failed !");
        return 0;
    }
    int32_t done = 0;
    while (done < count) {
        const int32_t want = std::min(per_block, count - done);
        const int32_t got =
            static_cast<int32_t>(f->read(block, static_cast<size_t>(frame), static_cast<size_t>(want)));
        deal(block, got, s->channels, s->bytes, dest, done);
        done += got;
        if (got < want) {
            break;
        }
    }
    kheap_release(block);
    return done;
}

int32_t load_ima(SCSample* s, int32_t first, int32_t count, void* const* dest)
{
    SCImaState* const ima = static_cast<SCImaState*>(s->user);
    K_ASSERT(ima);
    K_ASSERT(ima->buffer);
    FileStream* const f = s->stream;
    const int32_t spb = ima->samples_per_block;
    int32_t done = 0;
    while (done < count) {
        const int64_t frame = static_cast<int64_t>(first) + done;
        const int64_t block = frame / spb;
        const int32_t offset = static_cast<int32_t>(frame % spb);
        if (block != ima->block) {
            ima->block = -1;
            const int64_t at = s->data_offset + block * ima->block_align;
            if (!read_exact(f, at, ima->raw, static_cast<size_t>(ima->block_align)) ||
                !ima_decode_block(ima->raw, ima->block_align, s->channels, ima->buffer)) {
                return done;
            }
            ima->block = block;
        }
        const int32_t n = std::min(spb - offset, count - done);
        for (int32_t ch = 0; ch < s->channels; ++ch) {
            if (dest[ch] != nullptr) {
                std::memcpy(static_cast<int16_t*>(dest[ch]) + done, ima->buffer + ch * spb + offset,
                            static_cast<size_t>(n) * 2);
            }
        }
        done += n;
    }
    return done;
}

} // namespace

int SCWav::parse(SCSample* s, const uint8_t* header, int32_t length)
{
    if (length >= 12 && (read_le32(header) != four_cc("RIFF") || read_le32(header + 8) != four_cc("WAVE"))) {
        return 0;
    }
    RiffReader riff;
    const RiffChunk* const form = riff.open(s->stream);
    uint8_t wave[4];
    if (form == nullptr || !read_exact(s->stream, 8, wave, sizeof wave) || read_le32(wave) != four_cc("WAVE")) {
        return 0;
    }
    s->bytes = 0;
    s->frames = 0;
    s->flags = 0;
    s->format = 0;
    s->data_offset = 0;
    s->user = nullptr;

    WavParse w{s};
    int64_t remaining = RiffChunk::riff_even(form->length);
    RiffChunk c;
    c.position = 0;
    c.length = 4;
    int ok = 1;
    while (ok && remaining > 0 && riff.read_chunk(c.next_position(), &c) != nullptr) {
        remaining -= RiffChunk::riff_even(c.length) + 8;
        if (c.id == four_cc("fmt ")) {
            ok = handle_fmt(w, c, s->stream);
        } else if (c.id == four_cc("fact")) {
            ok = handle_fact(w, c, s->stream);
        } else if (c.id == four_cc("data")) {
            ok = handle_data(w, c);
        } else if (c.id == four_cc("cue ")) {
            ok = handle_cue(w, c, s->stream);
        }
    }
    if (ok && s->bytes != 0 && s->frames != 0 && w.have_data) {
        return 1;
    }
    free_ima(s);
    return 0;
}

int SCWav::release(SCSample* s)
{
    if (s->format == WAVE_FORMAT_IMA_ADPCM) {
        K_ASSERT(s->user);
        free_ima(s);
    }
    return 1;
}

int32_t SCWav::load(SCSample* s, int32_t first, int32_t count, const SCDest* dests)
{
    if (s->channels > SC_MAX_CHANNELS) {
        return SC_TOO_MANY_CHANNELS;
    }
    void* dest[SC_MAX_CHANNELS] = {};
    for (const SCDest* d = dests; d->channel != SC_END_OF_LIST; ++d) {
        if (d->channel < 0 || d->channel >= s->channels) {
            return SC_BAD_CHANNEL;
        }
        dest[d->channel] = d->data;
    }
    if (first < 0 || count <= 0 || first >= s->frames) {
        return 0;
    }
    count = std::min(count, s->frames - first);
    if (s->format == WAVE_FORMAT_IMA_ADPCM) {
        return load_ima(s, first, count, dest);
    }
    return load_pcm(s, first, count, dest);
}
