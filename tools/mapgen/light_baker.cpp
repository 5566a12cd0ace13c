#include "tools/mapgen/light_map.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace mapgen {

namespace {

// Shadow rays start this far in front of the lit surface.
constexpr double RAY_LIFT = 0.5;

// A wall rectangle as a blocker: flat on `axis` at `coord`.
struct Blocker {
    int axis;
    double coord;
    double lo[3];
    double hi[3];
};

// Whether the segment a..b passes through the rectangle: the ends lie
// strictly on opposite sides of its plane and the crossing inside its edges.
bool blocks(const Blocker& r, const Point& a, const Point& b)
{
    const size_t k = static_cast<size_t>(r.axis);
    const double da = a[k] - r.coord;
    const double db = b[k] - r.coord;
    if (!((da < 0.0 && db > 0.0) || (da > 0.0 && db < 0.0))) {
        return false;
    }
    const double t = da / (da - db);
    for (size_t j = 0; j < 3; ++j) {
        if (j == k) {
            continue;
        }
        const double x = a[j] + (b[j] - a[j]) * t;
        if (x < r.lo[j] || x > r.hi[j]) {
            return false;
        }
    }
    return true;
}

struct LightReach {
    const Light* light;
    std::vector<Blocker> blockers; // the walls within its reach
};

double distance(const Point& a, const Point& b)
{
    const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// The level (0 up to LIGHT_LEVEL) the light gives at p with the surface normal n.
double light_level(const LightReach& reach, const Point& p, const Point& n)
{
    const Light& light = *reach.light;
    const double r = light.range * 100.0;
    const double d = distance(p, light.position);
    if (!(d < r) || d <= 0.0) {
        return 0.0;
    }
    double facing = 0.0;
    for (size_t k = 0; k < 3; ++k) {
        facing += n[k] * (light.position[k] - p[k]) / d;
    }
    if (facing <= 0.0) {
        return 0.0;
    }
    const Point start{p[0] + n[0] * RAY_LIFT, p[1] + n[1] * RAY_LIFT, p[2] + n[2] * RAY_LIFT};
    for (const Blocker& b : reach.blockers) {
        if (blocks(b, start, light.position)) {
            return 0.0;
        }
    }
    return LIGHT_LEVEL * light.intensity * (1.0 - d / r) * facing;
}

std::vector<LightReach> reaches(const RoomModel& model, const BspMap& map)
{
    std::vector<LightReach> out;
    for (const Light& light : model.lights) {
        LightReach r{&light, {}};
        const double range = light.range * 100.0;
        for (const WallPolygon& w : map.polygons) {
            Blocker b{map.planes.entries()[static_cast<size_t>(w.plane)].axis,
                      map.planes.entries()[static_cast<size_t>(w.plane)].coord, {}, {}};
            bool near = true;
            for (size_t k = 0; k < 3; ++k) {
                b.lo[k] = std::min({w.corners[0][k], w.corners[1][k], w.corners[2][k], w.corners[3][k]});
                b.hi[k] = std::max({w.corners[0][k], w.corners[1][k], w.corners[2][k], w.corners[3][k]});
                near = near && b.lo[k] <= light.position[k] + range && b.hi[k] >= light.position[k] - range;
            }
            if (near) {
                r.blockers.push_back(b);
            }
        }
        out.push_back(std::move(r));
    }
    return out;
}

uint8_t level_byte(double level) { return static_cast<uint8_t>(std::clamp(std::lround(2.0 * level), 0L, 255L)); }

// The polygon's distinct colours, coarsened until at most 256 remain.
void add_colours(Lightmaps& out, PolygonLightmap& lm, const std::vector<std::array<uint8_t, 3>>& texels)
{
    for (int shift = 0; shift < 8; ++shift) {
        std::map<std::array<uint8_t, 3>, int> index;
        std::vector<std::array<uint8_t, 3>> colours;
        std::vector<uint8_t> samples;
        for (const auto& c : texels) {
            std::array<uint8_t, 3> q{};
            for (size_t j = 0; j < 3; ++j) {
                q[j] = static_cast<uint8_t>((c[j] >> shift) << shift);
            }
            const auto found = index.emplace(q, static_cast<int>(colours.size()));
            if (found.second) {
                colours.push_back(q);
            }
            samples.push_back(static_cast<uint8_t>(found.first->second & 0xFF));
        }
        if (colours.size() <= 256) {
            lm.first_colour = static_cast<int>(out.colours.size());
            lm.samples = samples;
            out.colours.insert(out.colours.end(), colours.begin(), colours.end());
            return;
        }
    }
}

} // namespace

Lightmaps bake_lightmaps(const RoomModel& model, const BspMap& map, const SurfaceMap& surfaces)
{
    Lightmaps out;
    const std::vector<LightReach> lights = reaches(model, map);
    for (const Light& l : model.lights) {
        out.lamp_count = std::max(out.lamp_count, l.lamp);
    }
    for (const SurfacePolygon& p : surfaces.polygons) {
        const SurfaceFace& face = surfaces.faces[static_cast<size_t>(p.face)];
        PolygonLightmap lm;
        if ((face.flags & FACE_FLAG_SKY) != 0) {
            out.polygons.push_back(lm);
            continue;
        }
        lm.lit = true;
        lm.s0 = static_cast<int32_t>(std::floor(p.s_lo / LIGHT_TEXEL)) * LIGHT_TEXEL;
        lm.s1 = static_cast<int32_t>(std::ceil(p.s_hi / LIGHT_TEXEL)) * LIGHT_TEXEL;
        lm.t0 = static_cast<int32_t>(std::floor(p.t_lo / LIGHT_TEXEL)) * LIGHT_TEXEL;
        lm.t1 = static_cast<int32_t>(std::ceil(p.t_hi / LIGHT_TEXEL)) * LIGHT_TEXEL;
        lm.width = (lm.s1 - lm.s0) / LIGHT_TEXEL + 1;
        lm.height = (lm.t1 - lm.t0) / LIGHT_TEXEL + 1;
        std::map<int, std::vector<uint8_t>> layers;
        std::vector<std::array<uint8_t, 3>> texels;
        for (int r = 0; r < lm.height; ++r) {
            for (int c = 0; c < lm.width; ++c) {
                const double s = lm.s0 + LIGHT_TEXEL * c;
                const double t = lm.t0 + LIGHT_TEXEL * r;
                Point x{};
                for (size_t k = 0; k < 3; ++k) {
                    x[k] = face.origin[k] + s * face.u_axis[k] + t * face.v_axis[k];
                }
                double sum[3] = {LIGHT_AMBIENT, LIGHT_AMBIENT, LIGHT_AMBIENT};
                for (const LightReach& reach : lights) {
                    const double level = light_level(reach, x, face.normal);
                    if (reach.light->lamp != 0) {
                        std::vector<uint8_t>& layer = layers[reach.light->lamp];
                        layer.resize(static_cast<size_t>(lm.width * lm.height), 0);
                        uint8_t& at = layer[static_cast<size_t>(r * lm.width + c)];
                        at = level_byte(std::min(127.5, at / 2.0 + level));
                        continue;
                    }
                    for (size_t j = 0; j < 3; ++j) {
                        sum[j] += level * reach.light->colour[j] / 255.0;
                    }
                }
                texels.push_back({level_byte(std::min(sum[0], 127.0)), level_byte(std::min(sum[1], 127.0)),
                                  level_byte(std::min(sum[2], 127.0))});
            }
        }
        add_colours(out, lm, texels);
        for (auto& [lamp, samples] : layers) {
            if (std::any_of(samples.begin(), samples.end(), [](uint8_t b) { return b != 0; })) {
                lm.layers.push_back({lamp, std::move(samples)});
            }
        }
        out.polygons.push_back(std::move(lm));
    }
    return out;
}

} // namespace mapgen
