#pragma once
// A sound system over stand-in devices: each mixes by hand like TestMixer,
// counts its calls, and can refuse its configure or init.
#include "sound_files.h"
#include "sound_fixture.h"

#include "core/command_line.h"
#include "host/host_clock.h"
#include "sound/mixer.h"
#include "sound/sound_system.h"

#include <cstring>

class FakeDevice final : public Mixer {
public:
    void update() override { ++updates; }
    void pause() override { ++pauses; }
    void stop() override {}
    void resume() override { ++resumes; }
    int get_caps(SDCaps* caps) override
    {
        if (caps != nullptr) {
            *caps = SDCaps{};
        }
        return 1;
    }
    int configure(SDSettings* s) override
    {
        ++configures;
        if (!configure_ok) {
            return 0;
        }
        settle(*s);
        return 1;
    }
    int init(const SDSettings* s) override
    {
        ++inits;
        requested = *s;
        if (!init_ok) {
            return 0;
        }
        SDSettings settled = *s;
        settle(settled);
        store_settings(settled);
        return Mixer::init();
    }
    void shutdown() override
    {
        ++shutdowns;
        release();
    }
    // Renders frames of stereo 16-bit output as words.
    std::vector<int16_t> words(int32_t frames)
    {
        std::vector<int16_t> w(static_cast<size_t>(frames) << (frame_shift() - 1));
        render(w.data(), static_cast<int32_t>(w.size() * 2));
        return w;
    }

    bool configure_ok = true;
    bool init_ok = true;
    int updates = 0, pauses = 0, resumes = 0, configures = 0, inits = 0, shutdowns = 0;
    SDSettings requested;

private:
    // The device's defaults for what the request leaves open.
    static void settle(SDSettings& s)
    {
        if (s.rate == 0) {
            s.rate = 22050;
        }
        if (s.channels == 0) {
            s.channels = 32;
        }
        if (s.flags == SDF_DEFAULT) {
            s.flags = SDF_STEREO | SDF_16BIT;
        }
    }
};

class SoundSystemTest : public SoundFileTest {
protected:
    void SetUp() override
    {
        SoundFileTest::SetUp();
        saved_devices_[0] = sound_device_table[0];
        saved_devices_[1] = sound_device_table[1];
        sound_device_table[0] = &wave;
        sound_device_table[1] = &file;
        saved_line_ = command_line;
        command_line = &line_;
    }
    void TearDown() override
    {
        system.shutdown();
        sound_device_table[0] = saved_devices_[0];
        sound_device_table[1] = saved_devices_[1];
        command_line = saved_line_;
        SoundFileTest::TearDown();
    }

    // Gives the command line its arguments (after the program name).
    void args(std::vector<const char*> a)
    {
        a.insert(a.begin(), "ostrel");
        ASSERT_EQ(line_.parse(static_cast<int>(a.size()), a.data()), 1);
    }

    FakeDevice wave;
    FakeDevice file;
    SoundSystem system;
    host::ManualClock clock;
    host::ScopedClock clock_guard{&clock};

private:
    SoundDevice* saved_devices_[2] = {};
    CommandLine line_;
    CommandLine* saved_line_ = nullptr;
};
