#include "sound/sd_wave_file.h"

#include "core/kassert.h"
#include "core/kheap.h"
#include "core/numerics.h"
#include "core/print.h"
#include "fsys/stdio2.h"
#include "core/timer.h"

#include <algorithm>
#include <cmath>

SDWaveFile::~SDWaveFile() { shutdown(); }

int SDWaveFile::get_caps(SDCaps* caps)
{
    if (caps != nullptr) {
        *caps = SDCaps{};
        caps->max_channels = MIX_CHANNELS;
        caps->default_channels = 32;
        caps->supported_flags = SDF_STEREO | SDF_16BIT | SDF_INTERPOLATE;
        caps->default_flags = SDF_STEREO | SDF_16BIT | SDF_INTERPOLATE;
        caps->max_rate = 88200;
        caps->default_rate = 44100;
        caps->modes = SDM_RESERVED;
    }
    return 1;
}

int SDWaveFile::configure(SDSettings* settings)
{
    K_ASSERT(settings);
    if (settings->channels == 0) {
        settings->channels = 32;
    }
    settings->channels = std::min(settings->channels, MIX_CHANNELS);
    if (settings->rate == 0) {
        settings->rate = 44100;
    }
    if (settings->flags == SDF_DEFAULT) {
        settings->flags = SDF_STEREO | SDF_16BIT | SDF_INTERPOLATE;
    }
    if ((settings->flags & SDF_16BIT) != 0) {
        settings->flags &= ~SDF_UNSIGNED;
    } else {
        settings->flags |= SDF_UNSIGNED;
    }
    store_settings(*settings);
    return 1;
}

int SDWaveFile::init(const SDSettings* settings)
{
    K_ASSERT(settings);
    shutdown();
    if ((settings->mode & ~SDM_RESERVED) != 0) {
        return 0;
    }
    SDSettings s = *settings;
    configure(&s);
    if (Mixer::init() == 0) {
        return 0;
    }
    data_length_ = 0;
    waiting_ = 0;
    stopped_ = false;
    buffer_ = static_cast<uint8_t*>(kheap_alloc(SDWAVEFILE_BUFFER, KHEAP_FROM_BOTTOM, "WavBuffer"));
    if (buffer_ == nullptr) {
        return 0;
    }
    file_ = open_for_write(SDWAVEFILE_NAME, STDIO2_BINARY);
    if (file_ == nullptr) {
        return 0;
    }
    const uint32_t channels = (settings_.flags & SDF_STEREO) != 0 ? 2 : 1;
    const uint32_t bytes = (settings_.flags & SDF_16BIT) != 0 ? 2 : 1;
    const uint32_t rate = static_cast<uint32_t>(settings_.rate);
    std::fwrite("RIFF", 1, 4, file_);
    write_le32(0, file_);
    std::fwrite("WAVEfmt ", 1, 8, file_);
    write_le32(16, file_);
    write_le16(1, file_);
    write_le16(channels, file_);
    write_le32(rate, file_);
    write_le32(rate * channels * bytes, file_);
    write_le16(channels * bytes, file_);
    write_le16(bytes * 8, file_);
    std::fwrite("data", 1, 4, file_);
    write_le32(0, file_);
    // On disk at once, so that a program that never shuts down leaves a readable header.
    std::fflush(file_);
    last_update_ = sys_time();
    paused_ = false;
    return 1;
}

void SDWaveFile::flush_buffer()
{
    if (waiting_ == 0 || file_ == nullptr) {
        return;
    }
    const size_t put = std::fwrite(buffer_, 1, static_cast<size_t>(waiting_), file_);
    const bool written = put == static_cast<size_t>(waiting_) && std::fflush(file_) == 0;
    data_length_ += static_cast<uint32_t>(put);
    if (!written && !stopped_) {
        print_format(P_WARNING, "SDWaveFile: Can't write '%s', recording stopped", SDWAVEFILE_NAME);
        stopped_ = true;
    }
    waiting_ = 0;
}

void SDWaveFile::update()
{
    const double now = sys_time();
    if (file_ != nullptr && !paused_ && !stopped_) {
        const int64_t frames = float_to_int_trunc((now - last_update_) * settings_.rate);
        int64_t bytes = frames > 0 ? frames << frame_shift() : 0;
        const int64_t room = static_cast<int64_t>(data_limit_) - data_length_ - waiting_;
        if (bytes >= room) {
            bytes = std::max<int64_t>(room, 0);
            print_format(P_WARNING, "SDWaveFile: '%s' is full, recording stopped", SDWAVEFILE_NAME);
            stopped_ = true;
        }
        while (bytes > 0) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(SDWAVEFILE_BUFFER - waiting_, bytes));
            const int32_t rendered = render(buffer_ + waiting_, n);
            if (rendered <= 0) {
                break;
            }
            waiting_ += rendered;
            if (waiting_ == SDWAVEFILE_BUFFER) {
                flush_buffer();
            }
            bytes -= rendered;
        }
    }
    last_update_ = now;
    mix_time_ += static_cast<float>(sys_time() - now);
}

void SDWaveFile::pause() { paused_ = true; }
void SDWaveFile::stop() { paused_ = true; }
void SDWaveFile::resume() { paused_ = false; }

void SDWaveFile::shutdown()
{
    if (file_ != nullptr) {
        flush_buffer();
        if ((data_length_ & 1) != 0) {
            std::fputc(0, file_);
        }
        std::fseek(file_, 40, SEEK_SET);
        write_le32(data_length_, file_);
        std::fseek(file_, 0, SEEK_END);
        const int64_t size = file_size(file_);
        std::fseek(file_, 4, SEEK_SET);
        write_le32(static_cast<uint32_t>(size - 8), file_);
        std::fclose(file_);
        file_ = nullptr;
    }
    if (buffer_ != nullptr) {
        kheap_release(buffer_);
        buffer_ = nullptr;
    }
    release();
}
