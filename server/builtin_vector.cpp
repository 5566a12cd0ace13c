// Direction vectors and angles in the engine's angle convention.
#include "core/matrix.h"
#include "server/builtin_call.h"
#include "server/builtin_table.h"

#include <cmath>
#include <numbers>

namespace {

Matrix rotation(const BuiltinArgs& a, uint32_t k)
{
    Matrix m;
    mat_from_angles(m, Vector{}, a.f32(k), a.f32(k + 1), a.f32(k + 2));
    return m;
}

} // namespace

static float heading_angle(const Vector& v)
{
    if (v.x == 0.0f && v.y == 0.0f) {
        return 0.0f;
    }
    double h = std::atan2(-static_cast<double>(v.x), static_cast<double>(v.y));
    if (h < 0.0) {
        h += 2.0 * std::numbers::pi;
    }
    return static_cast<float>(h);
}

static float pitch_angle(const Vector& v)
{
    const double x = v.x;
    const double y = v.y;
    const double z = v.z;
    if (x * x + y * y + z * z == 0.0) {
        return 0.0f;
    }
    return static_cast<float>(std::atan2(z, std::sqrt(x * x + y * y)));
}

DEFINE_BUILTIN(forward_vector, 3)
{
    Vector v;
    mat_get_column1(v, rotation(a, 0));
    builtin_result_vector(a.context(), v);
}

DEFINE_BUILTIN(right_vector, 3)
{
    Vector v;
    mat_get_column0(v, rotation(a, 0));
    builtin_result_vector(a.context(), v);
}

DEFINE_BUILTIN(up_vector, 3)
{
    Vector v;
    mat_get_column2(v, rotation(a, 0));
    builtin_result_vector(a.context(), v);
}

DEFINE_BUILTIN(rotate, 6)
{
    Vector v;
    mat_rotate_vector(v, rotation(a, 3), a.vec(0));
    builtin_result_vector(a.context(), v);
}

DEFINE_BUILTIN(heading_angle, 3) { builtin_result_float(a.context(), heading_angle(a.vec(0))); }

DEFINE_BUILTIN(pitch_angle, 3) { builtin_result_float(a.context(), pitch_angle(a.vec(0))); }
