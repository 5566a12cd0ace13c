#pragma once
// Module tests: a device that records what the player asks of it, and
// modules written by the test writer, loaded from a scratch file.
#include "fsys/fsys.h"
#include "sound/module_player.h"
#include "tools/sound/module_render.h"
#include "tools/sound/module_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

// Channels are handed out in order; a channel plays from start to stop.
class FakeModDevice final : public SoundDevice {
public:
    struct Channel {
        bool playing = false;
        SDSample* sample = nullptr;
        int32_t hz = 0;
        float volume = 0.0f;
        float pan = 0.0f;
        int starts = 0;
        uint32_t loop_flags = 0;
        int32_t loop_start = -2;
        int32_t loop_end = -2;
        float priority = 0.0f;
    };

    void update() override {}
    int stream_alloc_buffers(int) override { return 0; }
    void stream_free_buffers(int) override {}
    void set_timer_period(float) override {}
    bool sample_create(SDSample* s) override
    {
        if (refuse_samples) {
            return false;
        }
        ++samples;
        s->sdi = s;
        return true;
    }
    int sample_remove(SDSample* s) override
    {
        --samples;
        s->sdi = nullptr;
        return 1;
    }
    int channel_set_position(int32_t, int32_t, int) override { return 0; }
    void pause() override {}
    void stop() override {}
    void resume() override {}
    int get_caps(SDCaps*) override { return 1; }
    int configure(SDSettings*) override { return 1; }
    int init(const SDSettings*) override { return 1; }
    int get_settings(SDSettings*) override { return 1; }
    void shutdown() override {}
    S3DHive* create_3d_hive() override { return nullptr; }

    // The rate of the newest timer, and how many there are.
    float rate() const { return timers() != nullptr ? 1.0f / timers()->period : 0.0f; }
    int timer_count() const
    {
        int n = 0;
        for (const SDTimer* t = timers(); t != nullptr; t = t->next) {
            ++n;
        }
        return n;
    }
    int sample_ready(SDSample* s) override
    {
        std::vector<uint8_t> data(size_t(s->length) * ((s->flags & SDSF_16BIT) != 0 ? 2 : 1));
        const int ok = s->source->read_sample_data(s, data.data());
        if (ok != 0) {
            loaded[s] = data;
        }
        return ok;
    }
    int32_t channel_choose(float) override
    {
        for (size_t i = 0; reuse_stopped && i < channels.size(); ++i) {
            if (!channels[i].playing) {
                channels[i] = Channel{};
                return int32_t(i + 1);
            }
        }
        if (int(channels.size()) >= max_channels) {
            return 0;
        }
        channels.emplace_back();
        return int32_t(channels.size());
    }
    int channel_hold(int32_t, int32_t) override { return 1; }
    bool channel_valid(int32_t c) override { return c > 0 && c <= int32_t(channels.size()); }
    int channel_start(int32_t c, SDSample* s, float priority, float) override
    {
        if (!channel_valid(c)) {
            return 0;
        }
        Channel& ch = at(c);
        ch.playing = true;
        ch.sample = s;
        ch.starts += 1;
        ch.priority = priority;
        return 1;
    }
    int channel_stop(int32_t c) override
    {
        if (!channel_valid(c)) {
            return 0;
        }
        at(c).playing = false;
        return 1;
    }
    int channel_finished(int32_t c) override { return channel_valid(c) && at(c).playing ? 0 : 1; }
    int channel_set_loop(int32_t c, uint32_t flags, int32_t start, int32_t end) override
    {
        if (!channel_valid(c)) {
            return 0;
        }
        at(c).loop_flags = flags;
        at(c).loop_start = start;
        at(c).loop_end = end;
        return 1;
    }
    bool channel_set_priority(int32_t c, float priority, float) override
    {
        if (!channel_valid(c)) {
            return false;
        }
        at(c).priority = priority;
        return true;
    }
    int channel_set_frequency(int32_t c, int32_t hz) override { return set(c, [&](Channel& ch) { ch.hz = hz; }); }
    int channel_set_volume(int32_t c, float v) override { return set(c, [&](Channel& ch) { ch.volume = v; }); }
    int channel_set_pan(int32_t c, float p) override { return set(c, [&](Channel& ch) { ch.pan = p; }); }

    Channel& at(int32_t c) { return channels[size_t(c - 1)]; }

    int samples = 0;
    bool refuse_samples = false;
    int max_channels = 64;
    bool reuse_stopped = false; // like a mixer: a stopped channel serves again
    std::vector<Channel> channels;
    std::map<SDSample*, std::vector<uint8_t>> loaded;

private:
    template <typename F>
    int set(int32_t c, F f)
    {
        if (!channel_valid(c)) {
            return 0;
        }
        f(at(c));
        return 1;
    }
};

// A module written to a scratch file and opened through the file system.
class ModuleRig {
public:
    ModuleRig()
    {
        static std::atomic<int> serial{0};
        path_ = (std::filesystem::temp_directory_path() /
                 ("ostrel_mod_" + std::to_string(getpid()) + "_" + std::to_string(serial++)))
                    .string();
        fs_.mount("", 1, 0);
    }
    ~ModuleRig()
    {
        player.reset();
        std::remove(path_.c_str());
    }
    ModuleRig(const ModuleRig&) = delete;
    ModuleRig& operator=(const ModuleRig&) = delete;

    // A loaded player, or null when no loader takes the file or the load fails.
    ModulePlayer* load(const std::vector<uint8_t>& bytes)
    {
        player.reset();
        std::FILE* const f = std::fopen(path_.c_str(), "wb");
        if (f == nullptr) {
            return nullptr;
        }
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return load_file(path_);
    }

    // The scratch file that load() writes.
    const std::string& path() const { return path_; }

    ModulePlayer* load_file(const std::string& path)
    {
        player.reset();
        player.reset(tools::open_module(fs_, &device, path.c_str()));
        return player.get();
    }

    // Starts the loaded song and plays n ticks.
    void play(int n)
    {
        player->set_loop(0);
        player->start();
        ticks(n);
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i) {
            player->timer_tick();
        }
    }
    const FakeModDevice::Channel& voice_channel(int track)
    {
        const ModTrackState* const ts = player->track(track);
        EXPECT_NE(ts, nullptr);
        EXPECT_NE(ts->voice, nullptr);
        return device.at(ts->voice->channel);
    }

    FakeModDevice device;
    std::unique_ptr<ModulePlayer> player;

private:
    FSys fs_;
    std::string path_;
};

// A song of `channels` channels with one 64-row pattern and one looped
// sample, instrument 1 playing it.
inline tools::ModuleSong basic_song(int channels = 4)
{
    tools::ModuleSong song;
    song.channels = channels;
    song.orders = {0};
    song.patterns.resize(1);
    tools::ModuleSample s;
    s.frames.assign(256, 0);
    for (size_t i = 0; i < s.frames.size(); ++i) {
        s.frames[i] = int(i % 64) - 32;
    }
    s.loop = true;
    s.loop_start = 0;
    s.loop_end = 256;
    song.samples.push_back(s);
    tools::ModuleInstrument in;
    in.samples = {0};
    song.instruments.push_back(in);
    return song;
}
