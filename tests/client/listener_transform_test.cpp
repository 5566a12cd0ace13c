// The listener's transform that the client hands the sound system takes the
// world into the camera's coordinates: a source at the camera is at the
// origin, one ahead of it is as far as it is in the world, whatever the
// camera's place, heading and offset on its carrier.
#include "client/system_sound.h"
#include "core/sine_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Vector apply(const Matrix& m, const Vector& p)
{
    Vector out;
    mat_rotate_vector(out, m, p);
    return out;
}

float length(const Vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

TEST(ListenerTransform, TakesTheWorldIntoTheCamerasCoordinates)
{
    SineTable sines;
    ASSERT_EQ(sines.init(4096), 1);
    SineTable* const saved = sine_table;
    sine_table = &sines;
    struct Case {
        const char* name;
        Vector carrier;
        float heading;
        Vector eyes;
    };
    const Case cases[] = {
        {"at the origin", {0, 0, 0}, 0.0f, {0, 0, 0}},
        {"moved, not turned", {395.0f, -2.0f, -36.0f}, 0.0f, {0, 0, 20.0f}},
        {"moved and turned", {-60.0f, -160.0f, -36.0f}, 1.5708f, {0, 0, 20.0f}},
        {"turned back", {100.0f, 50.0f, 0}, 3.1416f, {4.0f, 0, 0}},
    };
    const Vector source{600.0f, 64.0f, -16.0f};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        CObjCommon camera;
        camera.pose[0].position = k.carrier;
        camera.pose[0].a = k.heading;
        camera.pose[1].position = k.eyes;
        Matrix placement;
        Matrix a;
        Matrix b;
        mat_from_angles(a, camera.pose[0].position, camera.pose[0].a, 0, 0);
        mat_from_angles(b, camera.pose[1].position, 0, 0, 0);
        mat_multiply(placement, a, b);
        Vector eye;
        mat_get_translation(eye, placement);

        Matrix m;
        listener_transform(m, &camera);
        const Vector at_eye = apply(m, eye);
        EXPECT_NEAR(length(at_eye), 0.0f, 1e-3f) << "the camera is the listener's origin";
        const Vector d{source.x - eye.x, source.y - eye.y, source.z - eye.z};
        EXPECT_NEAR(length(apply(m, source)), length(d), 1e-2f) << "distances are kept";
        // Back into the world through the placement.
        const Vector back = apply(placement, apply(m, source));
        EXPECT_NEAR(back.x, source.x, 1e-2f);
        EXPECT_NEAR(back.y, source.y, 1e-2f);
        EXPECT_NEAR(back.z, source.z, 1e-2f);
    }
    Matrix none;
    listener_transform(none, nullptr);
    const Vector same = apply(none, source);
    EXPECT_EQ(same.x, source.x);
    EXPECT_EQ(same.y, source.y);
    EXPECT_EQ(same.z, source.z);
    sine_table = saved;
}

} // namespace
