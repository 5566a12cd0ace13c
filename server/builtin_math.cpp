// The angle, sine, random and clock builtins.
#include "core/random_table.h"
#include "core/sine_table.h"
#include "server/builtin_call.h"
#include "server/builtin_table.h"
#include "server/server.h"

#include <cmath>
#include <numbers>

namespace {

constexpr float TURN = static_cast<float>(2.0 * std::numbers::pi);
// The upper bound is a little below the float turn, so the float turn itself wraps to 0.
constexpr double TURN_BOUND = 6.2831853;
// Beyond this many turns the wrap is one fmod: stepping would take too long
// or, where a turn is below the float's spacing, never end.
constexpr float STEPPED_LIMIT = 1024.0f * TURN;

} // namespace

static float normalize_angle(float a)
{
    if (!(std::fabs(a) < STEPPED_LIMIT)) {
        a = static_cast<float>(std::fmod(static_cast<double>(a), static_cast<double>(TURN)));
    }
    if (a < 0.0f) {
        while (a < 0.0f) {
            a += TURN;
        }
    } else {
        while (static_cast<double>(a) >= TURN_BOUND) {
            a -= TURN;
        }
    }
    return a;
}

DEFINE_BUILTIN(normalize_angle, 1) { builtin_result_float(a.context(), normalize_angle(a.f32(0))); }

DEFINE_BUILTIN(Sin, 1) { builtin_result_float(a.context(), sine_table->sine_at(sine_table->index(a.f32(0)))); }

DEFINE_BUILTIN(Cos, 1) { builtin_result_float(a.context(), sine_table->cosine_at(sine_table->index(a.f32(0)))); }

DEFINE_BUILTIN(random, 0)
{
    const bool ready = random_table != nullptr && random_table->n > 0;
    builtin_result_float(a.context(), ready ? random_table->next_float() : 0.0f);
}

DEFINE_BUILTIN(random_vector, 0)
{
    const bool ready = random_table != nullptr && random_table->n > 0;
    builtin_result_vector(a.context(), ready ? random_table->next_vector() : Vector{});
}

DEFINE_BUILTIN(time, 0) { builtin_result_float(a.context(), static_cast<float>(s.time_world)); }

DEFINE_BUILTIN(ticks, 0) { builtin_result(a.context(), s.tick); }
