#pragma once
// The calls the module player makes of the sound device: device samples,
// the timer that drives its ticks and the channels that play its voices.
#include <cstdint>

class ModulePlayer;

constexpr uint8_t MDSF_16BIT = 0x01;
constexpr uint8_t MDSF_UNSIGNED = 0x02;
constexpr uint8_t MDSF_LOOPED = 0x04;
constexpr uint8_t MDSF_BIDI = 0x08;

// A sample as the device sees it; lengths and loop points in samples.
struct ModDeviceSample {
    void* sdi = nullptr;
    uintptr_t owner = 0;
    ModulePlayer* source = nullptr;
    int32_t loop_start = 0;
    int32_t loop_end = 0;        // = length without a loop
    int32_t length = 0;
    uint8_t flags = 0;           // MDSF_*
};

class ModDevice {
public:
    virtual ~ModDevice() = default;

    virtual int timer_add(ModulePlayer* owner, float rate) = 0;
    virtual int timer_set_rate(ModulePlayer* owner, float rate) = 0;
    virtual void timer_remove(ModulePlayer* owner) = 0;

    virtual bool device_sample_create(ModDeviceSample* sample) = 0;
    virtual int device_sample_free(ModDeviceSample* sample) = 0;
    virtual int sample_ready(ModDeviceSample* sample) = 0;

    // Channels are named by handles; 0 names none.
    virtual int32_t channel_choose(float priority) = 0;
    virtual int channel_hold(int32_t channel, int32_t count) = 0;
    virtual bool channel_valid(int32_t channel) = 0;
    virtual int channel_start(int32_t channel, ModDeviceSample* sample, float priority, float volume_priority) = 0;
    virtual int channel_stop(int32_t channel) = 0;
    virtual int channel_finished(int32_t channel) = 0;
    virtual int channel_set_loop(int32_t channel, uint32_t loop_flags, int32_t start, int32_t end) = 0;
    virtual bool channel_set_priority(int32_t channel, float priority, float volume_priority) = 0;
    virtual int channel_set_frequency(int32_t channel, int32_t hz) = 0;
    virtual int channel_set_volume(int32_t channel, float volume) = 0;
    virtual int channel_set_pan(int32_t channel, float pan) = 0;
};
