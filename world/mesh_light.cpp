#include "world/mesh_light.h"

#include <algorithm>
#include <cmath>

namespace {

Vector rotate(const Matrix& m, const Vector& p)
{
    const float* r = m.m;
    return {r[0] * p.x + r[1] * p.y + r[2] * p.z, r[4] * p.x + r[5] * p.y + r[6] * p.z,
            r[8] * p.x + r[9] * p.y + r[10] * p.z};
}

float channel(uint32_t colour, int k) { return static_cast<float>((colour >> (8 * k)) & 0xFFu); }

} // namespace

float mesh_vertex_light(const MeshLightVector& v, const Vector& normal)
{
    const float l = vec_dot(v.direction, normal) + v.constant;
    // NaN (a broken normal) lights as the floor.
    return l >= MESH_LIGHT_MIN ? std::min(l, MESH_LIGHT_MAX) : MESH_LIGHT_MIN;
}

void mesh_light_start(MeshLightVector out[3], uint32_t ambient)
{
    for (int k = 0; k < 3; ++k) {
        out[k].direction = {0.0f, 0.0f, 0.0f};
        out[k].constant = channel(ambient, k) * 128.0f;
    }
}

void mesh_light_add(MeshLightVector out[3], const LightSource& light, const Matrix& view, const Vector& centre,
                    bool lamp_list)
{
    if (lamp_list && light.lamp == nullptr) {
        return;
    }
    Vector d = light.light_position;
    vec_sub(d, centre);
    d = rotate(view, d);
    const float dist = vec_length(d);
    float f = light.reach - dist;
    if (std::signbit(f) || std::isnan(f)) {
        return;
    }
    const float focus = light.spot_factor();
    if (focus > 0.0f) {
        const Vector e = rotate(view, light.direction);
        const float c = -vec_dot(d, e);
        if (std::signbit(c)) {
            return;
        }
        // A light at the mesh's centre sees it along no direction: the cone's floor.
        const float s = (dist > 0.0f ? focus * c / dist : 0.0f) + (1.0f - focus);
        if (std::signbit(s)) {
            return;
        }
        f *= s;
    }
    f *= light.falloff;
    f = std::min(f, static_cast<float>(light.intensity));
    vec_normalize(d);
    float c[3];
    if (light.lamp != nullptr) {
        if (!lamp_list && light.lamp->lamp_type == LAMP_WAVE) {
            f *= 0.5f;
        }
        for (int k = 0; k < 3; ++k) {
            c[k] = channel(light.lamp->colour, k) * f * light.lamp->intensity;
        }
    } else {
        for (int k = 0; k < 3; ++k) {
            c[k] = channel(light.colour, k) * f;
        }
    }
    for (int k = 0; k < 3; ++k) {
        vec_add_scaled(out[k].direction, d, 0.6f * c[k]);
        out[k].constant += 0.4f * c[k];
    }
}
