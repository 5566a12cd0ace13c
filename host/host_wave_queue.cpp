#include "host/host_wave_queue.h"

#include <algorithm>
#include <cstring>

namespace host {

WaveQueue::WaveQueue(const WaveFormat& format, WaveOutCallback callback, void* instance)
    : format_(format), callback_(callback), instance_(instance)
{
}

int WaveQueue::prepare(WaveHeader* header)
{
    if (header == nullptr || header->data == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    header->flags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

int WaveQueue::unprepare(WaveHeader* header)
{
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->flags.load() & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->flags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

int WaveQueue::write(WaveHeader* header)
{
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const uint32_t flags = header->flags.load();
    if ((flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    lock();
    header->flags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
    queue_.push_back(header);
    unlock();
    return MMSYSERR_NOERROR;
}

int WaveQueue::reset()
{
    lock();
    drain_locked();
    played_.store(0);
    unlock();
    return MMSYSERR_NOERROR;
}

int WaveQueue::position(uint32_t* frames)
{
    if (frames == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *frames = static_cast<uint32_t>(played_.load() / format_.block_align());
    return MMSYSERR_NOERROR;
}

void WaveQueue::drain()
{
    lock();
    drain_locked();
    unlock();
}

void WaveQueue::drain_locked()
{
    for (WaveHeader* h : queue_) {
        h->flags.store((h->flags.load() & ~WHDR_INQUEUE) | WHDR_DONE);
    }
    queue_.clear();
    offset_ = 0;
}

uint32_t WaveQueue::consume(uint8_t* out, uint32_t bytes)
{
    uint32_t taken = 0;
    while (bytes > 0 && !queue_.empty()) {
        WaveHeader* const h = queue_.front();
        const uint32_t n = std::min(h->length - offset_, bytes);
        if (out != nullptr) {
            std::memcpy(out, h->data + offset_, n);
            out += n;
        }
        offset_ += n;
        bytes -= n;
        taken += n;
        if (offset_ >= h->length) {
            queue_.pop_front();
            offset_ = 0;
            h->flags.store((h->flags.load() & ~WHDR_INQUEUE) | WHDR_DONE);
            if (callback_ != nullptr) {
                callback_(instance_, WOM_DONE);
            }
        }
    }
    if (out != nullptr && bytes > 0) {
        std::memset(out, silence_byte(), bytes);
    }
    played_.fetch_add(taken);
    return taken;
}

} // namespace host
