#include "sound/module_contents.h"

void ModuleData::free()
{
    mod_delete_array(patterns, size_t(pattern_count));
    mod_delete_array(orders, size_t(order_count));
    mod_delete_array(samples, size_t(sample_count));
    mod_delete_array(instruments, size_t(instrument_count));
    mod_delete_array(initial_panning, size_t(channels));
    mod_delete_array(initial_volume, size_t(channels));
    store.destroy();
    pattern_count = 0;
    order_count = 0;
    sample_count = 0;
    instrument_count = 0;
    channels = 0;
    name[0] = '\0';
    format_flags = 0;
    min_period = 1;
    max_period = 2;
    initial_speed = 6;
    initial_tempo = 125;
    initial_global_volume = 128;
    initial_separation = 1.0f;
}

bool ModuleData::playable(int32_t order) const
{
    if (order < 0 || order >= order_count) {
        return false;
    }
    const int32_t p = orders[order];
    return p >= 0 && p < pattern_count && patterns[p].rows() > 0;
}

namespace {

void clamp_loop(int32_t length, int32_t& start, int32_t& end, uint8_t& flags, uint8_t on, uint8_t pingpong)
{
    if ((flags & on) == 0) {
        return;
    }
    if (end > length) {
        end = length;
    }
    if (start < 0 || start >= end) {
        flags = uint8_t(flags & ~(on | pingpong));
    }
}

} // namespace

void mod_sample_clamp_loops(ModSample& s)
{
    clamp_loop(s.length, s.loop_start, s.loop_end, s.flags, MODS_LOOP, MODS_PINGPONG);
    clamp_loop(s.length, s.sustain_start, s.sustain_end, s.flags, MODS_SUSTAIN, MODS_PINGPONG_SUSTAIN);
}
