#include "sound/sc_block_codec.h"

#include "fsys/file_stream.h"
#include "sound/sc_sample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

constexpr int32_t candidates[] = {4, 0, 5, 1, 7, 3};
constexpr double CONTRADICTED = 1.0e9;

int32_t sample_at(int32_t candidate, const uint8_t* p)
{
    if ((candidate & SCB_16BIT) == 0) {
        return (candidate & SCB_UNSIGNED) != 0 ? p[0] - 128 : static_cast<int8_t>(p[0]);
    }
    const uint32_t raw = (candidate & SCB_BIG_ENDIAN) != 0 ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
    return (candidate & SCB_UNSIGNED) != 0 ? static_cast<int32_t>(raw) - 32768 : static_cast<int16_t>(raw);
}

} // namespace

double SCBlockCodec::score(int32_t candidate, const uint8_t* data, int32_t bytes, int32_t preset_bytes)
{
    const int32_t width = (candidate & SCB_16BIT) != 0 ? 2 : 1;
    if ((preset_bytes == 1 || preset_bytes == 2) && preset_bytes != width) {
        return CONTRADICTED;
    }
    const int32_t n = bytes / width;
    if (n == 0) {
        return 0.0;
    }
    double sum = 0.0;
    double diff_sum = 0.0;
    double diff_max = 0.0;
    int32_t previous = sample_at(candidate, data);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = sample_at(candidate, data + static_cast<size_t>(i) * width);
        sum += v;
        if (i > 0) {
            const double d = std::abs(v - previous);
            diff_sum += d;
            diff_max = std::max(diff_max, d);
        }
        previous = v;
    }
    const double mean = sum / n;
    const double mean_diff = n > 1 ? diff_sum / (n - 1) : 0.0;
    double s = diff_max * 0.125 + mean_diff + std::abs(mean) * 0.03125;
    if (width == 1) {
        s *= 172.0;
    }
    return s;
}

int SCBlockCodec::parse(SCSample* s, const uint8_t*, int32_t)
{
    if (s->channels > 1 || s->bytes > 2) {
        return 0;
    }
    FileStream* const f = s->stream;
    if (f->seek(0, FSYS_SEEK_SET) != 0) {
        return 0;
    }
    const int64_t size = f->size();
    if (size <= 0 || size > INT32_MAX) {
        return 0;
    }
    const int32_t want = static_cast<int32_t>(std::min<int64_t>(size & ~int64_t{1}, SCB_GUESS_BYTES));
    std::vector<uint8_t> work(static_cast<size_t>(want));
    const int32_t got = static_cast<int32_t>(f->read(work.data(), 1, work.size()));
    f->seek(0, FSYS_SEEK_SET);
    if (got <= 0) {
        return 0;
    }
    int32_t best = candidates[0];
    double best_score = score(best, work.data(), got, s->bytes);
    for (int32_t c : candidates) {
        const double sc = score(c, work.data(), got, s->bytes);
        if (sc < best_score) {
            best = c;
            best_score = sc;
        }
    }
    s->channels = 1;
    s->bytes = (best & SCB_16BIT) != 0 ? 2 : 1;
    s->frames = static_cast<int32_t>(size / s->bytes);
    s->loop_start = 0;
    s->loop_end = s->frames;
    s->flags = (best & SCB_UNSIGNED) != 0 ? SCSF_UNSIGNED : 0;
    s->format = best;
    s->data_offset = 0;
    return s->frames > 0 ? 1 : 0;
}

int SCBlockCodec::release(SCSample*)
{
    return 1;
}

int32_t SCBlockCodec::load(SCSample* s, int32_t first, int32_t count, const SCDest* dests)
{
    if (first < 0 || first >= s->frames) {
        return SC_PAST_END;
    }
    void* dest = nullptr;
    for (const SCDest* d = dests; d->channel != SC_END_OF_LIST; ++d) {
        if (d->channel == 0) {
            dest = d->data;
        }
    }
    if (dest == nullptr) {
        return SC_BAD_CHANNEL;
    }
    count = std::min(count, s->frames - first);
    if (count <= 0) {
        return 0;
    }
    FileStream* const f = s->stream;
    if (f->seek(static_cast<int64_t>(first) * s->bytes, FSYS_SEEK_SET) != 0) {
        return 0;
    }
    const int32_t got = static_cast<int32_t>(f->read(dest, static_cast<size_t>(s->bytes), static_cast<size_t>(count)));
    if ((s->format & SCB_BIG_ENDIAN) != 0 && s->bytes == 2) {
        uint8_t* p = static_cast<uint8_t*>(dest);
        for (int32_t i = 0; i < got; ++i, p += 2) {
            std::swap(p[0], p[1]);
        }
    }
    return got;
}
