#include "sound/mod_env_state.h"

void ModEnvState::init(const ModEnvelope* envelope, int16_t dflt)
{
    env = envelope;
    node = 0;
    elapsed = 0;
    flags = 0;
    default_value = dflt;
    if (env == nullptr || (env->flags & MODE_ON) == 0 || env->count == 0) {
        return;
    }
    flags = MODES_ON;
    if ((env->flags & MODE_SUSTAIN) != 0) {
        loop_between(env->sustain_start, env->sustain_end);
    } else if ((env->flags & MODE_LOOP) != 0) {
        loop_between(env->loop_start, env->loop_end);
    }
}

// A loop whose nodes are not all on the envelope never runs.
void ModEnvState::loop_between(uint8_t start, uint8_t end)
{
    if (start <= end && end < env->count) {
        loop_start = start;
        loop_end = end;
        flags |= MODES_LOOPING;
    } else {
        flags &= uint8_t(~MODES_LOOPING);
    }
}

bool ModEnvState::step()
{
    if (!on() || node >= last_node()) {
        return false;
    }
    const bool holding = looping() && loop_start == loop_end && node == loop_start && elapsed == 0;
    if (!holding) {
        ++elapsed;
        // Ticks that do not increase end the segment at once.
        if (int32_t(elapsed) >= int32_t(env->tick[node + 1]) - int32_t(env->tick[node])) {
            ++node;
            elapsed = 0;
            if (looping() && node == loop_end) {
                node = loop_start;
            }
        }
    }
    return true;
}

int32_t ModEnvState::value() const
{
    if (!on()) {
        return default_value;
    }
    if (node >= last_node()) {
        return env->value[last_node()];
    }
    const int32_t span = int32_t(env->tick[node + 1]) - int32_t(env->tick[node]);
    const int32_t from = env->value[node];
    if (span <= 0) {
        return from;
    }
    return from + int32_t(elapsed) * (int32_t(env->value[node + 1]) - from) / span;
}

void ModEnvState::release()
{
    if (!on() || (env->flags & MODE_SUSTAIN) == 0) {
        return;
    }
    if ((env->flags & MODE_LOOP) != 0) {
        loop_between(env->loop_start, env->loop_end);
        if (looping() && node >= loop_end) {
            node = loop_start;
            elapsed = 0;
        }
    } else {
        flags &= uint8_t(~MODES_LOOPING);
    }
}

void ModEnvState::set_position(uint32_t p)
{
    if (!on()) {
        return;
    }
    node = 0;
    while (node < last_node() && env->tick[node + 1] <= p) {
        ++node;
    }
    if (node >= last_node() || p < env->tick[node]) {
        elapsed = 0;
    } else {
        const uint32_t into = p - env->tick[node];
        elapsed = uint16_t(into > 0xFFFF ? 0xFFFF : into);
    }
}
