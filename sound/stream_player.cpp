#include "sound/stream_player.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "fsys/file_stream.h"
#include "sound/sc_codec.h"
#include "sound/sound_device.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

SCCodec* stream_codec() { return sc_codec_table[SC_CODEC_WAV]; }

void fill_stream_info(SongInfo* info)
{
    if (info != nullptr) {
        *info = SongInfo{};
        info->kind = SONG_KIND_STREAM;
    }
}

} // namespace

int stream_player_detect(FileStream* stream, const uint8_t* header, int32_t length, SongInfo* info)
{
    SCSample d;
    d.stream = stream;
    const int accepted = stream_codec()->parse(&d, header, length);
    if (!accepted) {
        return 0;
    }
    stream_codec()->release(&d);
    if ((d.flags & SCSF_BIDI) != 0 || d.channels > 2) {
        return 0;
    }
    fill_stream_info(info);
    return 1;
}

SongPlayer* stream_player_create(SoundDevice* device, FileStream* stream, const uint8_t* header, int32_t length)
{
    StreamPlayer* const p = new (std::nothrow) StreamPlayer(device, stream);
    if (p == nullptr) {
        return nullptr;
    }
    SCSample& d = p->desc_;
    if (!stream_codec()->parse(&d, header, length)) {
        p->desc_.stream = nullptr; // the caller still owns the file
        delete p;
        return nullptr;
    }
    d.codec = stream_codec();
    // A stream plays one channel, or two panned apart; no more.
    if ((d.flags & SCSF_BIDI) != 0 || d.channels > 2) {
        d.stream = nullptr;
        delete p;
        return nullptr;
    }
    if ((d.flags & SCSF_LOOPED) == 0) {
        d.loop_start = 0;
        d.flags |= SCSF_LOOPED;
    }
    return p;
}

StreamPlayer::StreamPlayer(SoundDevice* device, FileStream* stream) : device_(device)
{
    desc_.stream = stream;
}

StreamPlayer::~StreamPlayer()
{
    unload();
}

int StreamPlayer::load(FileStream* stream)
{
    if (stream == nullptr || stream != desc_.stream) {
        return 0;
    }
    silence_ = 0;
    state_ = STREAM_PAUSED;
    return 1;
}

void StreamPlayer::unload()
{
    stop();
    if (desc_.codec != nullptr) {
        desc_.codec->release(&desc_);
        desc_.codec = nullptr;
    }
    if (desc_.stream != nullptr) {
        desc_.stream->close();
        desc_.stream = nullptr;
    }
}

void StreamPlayer::get_info(SongInfo* info)
{
    fill_stream_info(info);
}

void StreamPlayer::get_length(SongPos* pos)
{
    if (pos->unit == SONGPOS_FRAMES) {
        pos->frames = desc_.frames;
        return;
    }
    pos->unit = SONGPOS_SECONDS;
    pos->seconds = static_cast<float>(static_cast<double>(desc_.frames) / desc_.rate);
}

void StreamPlayer::get_position(SongPos* pos)
{
    if (pos->unit == SONGPOS_FRAMES) {
        pos->frames = position_;
        return;
    }
    pos->unit = SONGPOS_SECONDS;
    pos->seconds = static_cast<float>(static_cast<double>(position_) / desc_.rate);
}

void StreamPlayer::start()
{
    if (desc_.stream == nullptr) {
        return;
    }
    if (stream_handle_ == -1) {
        int32_t handles[2] = {};
        const int32_t h = device_->stream_create(this, STREAM_RING_SAMPLES, desc_.rate, desc_.bytes == 2 ? 1 : 0,
                                                 (desc_.flags & SCSF_UNSIGNED) != 0 ? 1 : 0, desc_.channels, handles);
        if (h == -1) {
            return;
        }
        stream_handle_ = h;
        channel_[0] = handles[0];
        channel_[1] = desc_.channels == 2 ? handles[1] : 0;
        for (const int32_t c : channel_) {
            if (c != 0) {
                device_->channel_set_volume(c, volume_);
            }
        }
        apply_pan();
        state_ = STREAM_LOOPING;
        position_ = 0;
        silence_ = 0;
    }
    state_ &= ~STREAM_PAUSED;
}

void StreamPlayer::apply_pan()
{
    if (channel_[1] == 0) {
        if (channel_[0] != 0) {
            device_->channel_set_pan(channel_[0], 0.0f);
        }
        return;
    }
    device_->channel_set_pan(channel_[0], -separation_);
    device_->channel_set_pan(channel_[1], separation_);
}

void StreamPlayer::stop()
{
    if (stream_handle_ != -1) {
        device_->stream_close(stream_handle_);
        stream_handle_ = -1;
        channel_[0] = 0;
        channel_[1] = 0;
        position_ = 0;
        state_ = 0;
    }
}

void StreamPlayer::pause()
{
    state_ |= STREAM_PAUSED;
}

int StreamPlayer::set_position(SongPos* pos)
{
    int64_t frame = 0;
    if (pos->unit == SONGPOS_SECONDS) {
        frame = float_to_int_trunc(static_cast<double>(pos->seconds) * desc_.rate);
    } else if (pos->unit == SONGPOS_FRAMES) {
        frame = pos->frames;
    } else {
        pos->unit = SONGPOS_SECONDS;
        return 0;
    }
    position_ = static_cast<int32_t>(std::clamp<int64_t>(frame, 0, desc_.frames));
    state_ &= ~STREAM_FINISHED;
    return 1;
}

int StreamPlayer::set_loop(int on)
{
    const int previous = (state_ & STREAM_LOOPING) != 0 ? 1 : 0;
    if (on) {
        state_ |= STREAM_LOOPING;
    } else {
        state_ &= ~STREAM_LOOPING;
    }
    return previous;
}

int StreamPlayer::is_finished()
{
    return (state_ & STREAM_FINISHED) != 0 && silence_ >= STREAM_END_SILENCE ? 1 : 0;
}

void StreamPlayer::set_volume(float volume)
{
    volume = std::clamp(volume, 0.0f, 1.0f);
    if (volume == volume_) {
        return;
    }
    volume_ = volume;
    if (stream_handle_ != -1) {
        for (const int32_t c : channel_) {
            if (c != 0) {
                device_->channel_set_volume(c, volume_);
            }
        }
    }
}

float StreamPlayer::get_volume()
{
    return volume_;
}

void StreamPlayer::set_separation(float separation)
{
    separation = std::clamp(separation, -1.0f, 1.0f);
    if (separation == separation_) {
        return;
    }
    separation_ = separation;
    if (stream_handle_ != -1 && channel_[1] != 0) {
        apply_pan();
    }
}

float StreamPlayer::get_separation()
{
    return separation_;
}

void StreamPlayer::set_priority(float) {}

void StreamPlayer::fill_silence(void* const* out, int32_t offset, int32_t frames) const
{
    for (int32_t ch = 0; ch < desc_.channels; ++ch) {
        uint8_t* const p = static_cast<uint8_t*>(out[ch]) + static_cast<size_t>(offset) * desc_.bytes;
        if ((desc_.flags & SCSF_UNSIGNED) == 0) {
            std::memset(p, 0, static_cast<size_t>(frames) * desc_.bytes);
        } else if (desc_.bytes == 1) {
            std::memset(p, 0x80, static_cast<size_t>(frames));
        } else {
            for (int32_t i = 0; i < frames; ++i) {
                p[2 * i] = 0x00;
                p[2 * i + 1] = 0x80;
            }
        }
    }
}

int32_t StreamPlayer::fill_stream(void* const* out, int32_t stream, int32_t samples)
{
    if (stream != stream_handle_ || stream_handle_ == -1 || silence_ >= STREAM_END_SILENCE) {
        return -1;
    }
    int32_t done = 0;
    int32_t remaining = samples;
    while (remaining > 0) {
        if ((state_ & (STREAM_PAUSED | STREAM_FINISHED)) != 0) {
            fill_silence(out, done, remaining);
            if ((state_ & STREAM_FINISHED) != 0) {
                silence_ += remaining;
            }
            done += remaining;
            break;
        }
        // A position past the loop end (set by set_position) has nothing to
        // play before the loop turns.
        const int32_t n = std::clamp(desc_.loop_end - position_, 0, remaining);
        if (n > 0) {
            SCDest dests[3] = {{0, static_cast<uint8_t*>(out[0]) + static_cast<size_t>(done) * desc_.bytes},
                               {SC_END_OF_LIST, nullptr},
                               {SC_END_OF_LIST, nullptr}};
            if (desc_.channels == 2) {
                dests[1] = {1, static_cast<uint8_t*>(out[1]) + static_cast<size_t>(done) * desc_.bytes};
            }
            if (desc_.codec->load(&desc_, position_, n, dests) != n) {
                return -1;
            }
        }
        if (n < remaining) {
            if ((state_ & STREAM_LOOPING) != 0) {
                K_ASSERT(desc_.flags & SCSF_LOOPED);
                // A turn with nothing played in between would never end.
                if (n == 0 && position_ == desc_.loop_start) {
                    return -1;
                }
                position_ = desc_.loop_start;
            } else {
                silence_ = 0;
                state_ |= STREAM_FINISHED;
                position_ = desc_.loop_end;
            }
        } else {
            position_ += n;
        }
        done += n;
        remaining -= n;
    }
    return done;
}
