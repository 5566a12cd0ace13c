#include "tools/mapgen/client_check.h"

#include "tools/mapgen/check_lines.h"

#include <cstring>

namespace mapgen {

namespace {

std::string text_of(const MapFiles& files, const char* name)
{
    const MapFile* const f = files.find(name);
    return f != nullptr ? std::string(f->bytes.begin(), f->bytes.end()) : std::string();
}

bool same_point(const float* v, const Point& p)
{
    return v[0] == static_cast<float>(p[0]) && v[1] == static_cast<float>(p[1]) && v[2] == static_cast<float>(p[2]);
}

bool point_line(Lines& in, const Point& p)
{
    float v[3];
    return in.scan("%f %f %f", 3, v, v + 1, v + 2) && in.expect(same_point(v, p), "a point differs");
}

bool check_geometry(const SurfaceMap& s, size_t movers, const std::string& text, uint32_t map_id, std::string& error)
{
    Lines in(text, "textualGeometry,version005", map_id, error);
    int c[6] = {};
    for (int& v : c) {
        if (!in.scan("%d", 1, &v)) {
            return false;
        }
    }
    const int polygons = static_cast<int>(s.polygons.size());
    if (!in.expect(c[0] == 1 + static_cast<int>(movers) && c[1] == static_cast<int>(s.vertices.size()) && c[3] == static_cast<int>(s.faces.size()) &&
                       c[4] == polygons && c[5] == 4 * polygons,
                   "counts differ")) {
        return false;
    }
    int model[4] = {};
    if (!in.scan("%d %d %d %d", 4, model, model + 1, model + 2, model + 3) ||
        !in.expect(model[3] == polygons - 6 * static_cast<int>(movers), "the model's polygons differ")) {
        return false;
    }
    for (size_t m = 0; m < movers; ++m) {
        if (!in.scan("%d %d %d %d", 4, model, model + 1, model + 2, model + 3) ||
            !in.expect(model[3] == 6, "a mover's polygons differ")) {
            return false;
        }
    }
    for (const Point& v : s.vertices) {
        if (!point_line(in, v)) {
            return false;
        }
    }
    std::string unused;
    for (int i = 0; i < c[2]; ++i) {
        if (!in.text(unused)) {
            return false;
        }
    }
    for (const SurfaceFace& f : s.faces) {
        int v[3] = {};
        if (!in.scan("%d %d %d", 3, v, v + 1, v + 2) ||
            !in.expect(v[0] == f.plane && v[1] == f.patch && static_cast<uint32_t>(v[2]) == f.flags, "a face differs") ||
            !point_line(in, f.origin) || !point_line(in, f.u_axis) || !point_line(in, f.v_axis)) {
            return false;
        }
    }
    std::vector<long long> v;
    for (const SurfacePolygon& p : s.polygons) {
        if (!in.ints(v) || !in.expect(v.size() == 10 && v[0] == p.face && v[1] == 4, "a polygon differs")) {
            return false;
        }
        for (size_t k = 0; k < 4; ++k) {
            if (!in.expect(v[2 + 2 * k] == p.vertices[k], "a polygon's vertex differs")) {
                return false;
            }
        }
    }
    return in.at_end();
}

// Walks lightmap.bin's chunks in order: each must be the one expected.
class Chunks {
public:
    explicit Chunks(const std::vector<uint8_t>& b) : b_(b) {}
    bool next(const char* id, size_t& data, size_t& length)
    {
        if (at_ + 8 > b_.size() || std::memcmp(b_.data() + at_, id, 4) != 0) {
            return false;
        }
        length = le32(b_, at_ + 4);
        data = at_ + 8;
        at_ = data + ((length + 3) & ~size_t{3});
        return data + length <= b_.size();
    }

private:
    const std::vector<uint8_t>& b_;
    size_t at_ = 4;
};

bool check_lightmap(const Lightmaps& l, const std::vector<uint8_t>& b, uint32_t map_id, std::string& error)
{
    const auto fail = [&error](const std::string& why) {
        error = "lightmap.bin: " + why;
        return false;
    };
    Chunks chunks(b);
    size_t head = 0;
    size_t pold = 0;
    size_t xlat = 0;
    size_t rlmd = 0;
    size_t length = 0;
    if (b.size() < 4 || std::memcmp(b.data(), "LIMP", 4) != 0 || !chunks.next("HEAD", head, length) || length != 36 ||
        !chunks.next("POLD", pold, length) || !chunks.next("XLAT", xlat, length) ||
        !chunks.next("RLMD", rlmd, length)) {
        return fail("the chunks differ");
    }
    if (le32(b, head) != 1 || le32(b, head + 4) != map_id || le32(b, head + 8) != l.polygons.size() ||
        le32(b, head + 12) != l.colours.size() || le32(b, head + 24) != static_cast<uint32_t>(l.lamp_count)) {
        return fail("the header differs");
    }
    for (size_t i = 0; i < l.colours.size(); ++i) {
        if (std::memcmp(b.data() + xlat + 3 * i, l.colours[i].data(), 3) != 0) {
            return fail("colour " + std::to_string(i) + " differs");
        }
    }
    size_t at = pold;
    const auto word = [&b, &at]() {
        const uint32_t v = le32(b, at);
        at += 4;
        return v;
    };
    for (size_t p = 0; p < l.polygons.size(); ++p) {
        const PolygonLightmap& lm = l.polygons[p];
        const std::string which = "polygon " + std::to_string(p);
        const uint32_t v = word();
        if (!lm.lit) {
            if (v != 0) {
                return fail(which + " has a lightmap");
            }
            continue;
        }
        if (v != lm.layers.size() + 1 || word() != static_cast<uint32_t>(lm.s0) || word() != static_cast<uint32_t>(lm.s1) ||
            word() != static_cast<uint32_t>(lm.t0) || word() != static_cast<uint32_t>(lm.t1)) {
            return fail(which + " has another texel range");
        }
        at += 4 * static_cast<size_t>(lm.height);
        const uint32_t colour = word();
        const size_t data = rlmd + word();
        if (colour != static_cast<uint32_t>(lm.first_colour) || data + lm.samples.size() > b.size() ||
            std::memcmp(b.data() + data, lm.samples.data(), lm.samples.size()) != 0) {
            return fail(which + "'s samples differ");
        }
        for (const LampLayer& layer : lm.layers) {
            const uint32_t lamp = word();
            const size_t layer_data = rlmd + word();
            if (lamp != static_cast<uint32_t>(layer.lamp) || layer_data + layer.samples.size() > b.size() ||
                std::memcmp(b.data() + layer_data, layer.samples.data(), layer.samples.size()) != 0) {
                return fail(which + "'s lamp layer differs");
            }
        }
    }
    return at <= b.size() ? true : fail("POLD ends early");
}

bool check_lights(const RoomModel& model, const std::string& text, uint32_t map_id, std::string& error)
{
    Lines in(text, "textualLights,version010", map_id, error);
    int n = 0;
    if (!in.scan("%d", 1, &n) || !in.expect(n == static_cast<int>(model.lights.size()), "the light count differs")) {
        return false;
    }
    std::string unused;
    for (const Light& l : model.lights) {
        float f[4] = {};
        int lc[4] = {};
        if (!in.text(unused) || !in.text(unused) || !in.text(unused) || !point_line(in, l.position) ||
            !in.scan("%f %f %f %f", 4, f, f + 1, f + 2, f + 3) ||
            !in.expect(f[0] * 4.0f == static_cast<float>(l.range) && f[1] == 1.0f &&
                           f[3] == static_cast<float>(l.intensity),
                       "a light's range or intensity differs") ||
            !in.scan("%d %d %d %d", 4, lc, lc + 1, lc + 2, lc + 3) ||
            !in.expect(lc[0] == l.lamp && lc[1] == l.colour[0] && lc[2] == l.colour[1] && lc[3] == l.colour[2],
                       "a light's lamp or colour differs")) {
            return false;
        }
    }
    return in.at_end();
}

bool check_small_files(const SurfaceMap& s, const MapFiles& files, uint32_t map_id, std::string& error)
{
    Lines textures(text_of(files, "textures.txt"), "textualTextures,version001", map_id, error, true);
    int n = 0;
    if (!textures.scan("%d", 1, &n) || !textures.expect(n == static_cast<int>(s.textures.size()), "texture count")) {
        return false;
    }
    for (const TextureName& t : s.textures) {
        std::string line;
        if (!textures.text(line) || !textures.expect(line == t.resource + " " + t.name, "a texture differs")) {
            return false;
        }
    }
    Lines patches(text_of(files, "patches.txt"), "textualPatches,version001", map_id, error, true);
    if (!textures.at_end() || !patches.scan("%d", 1, &n) ||
        !patches.expect(n == static_cast<int>(s.patches.size()), "patch count")) {
        return false;
    }
    for (const PatchLine& p : s.patches) {
        int t = 0;
        int mode = 0;
        float f[6] = {};
        if (!patches.scan("%d %f %f %d %f %f %f %f", 8, &t, f, f + 1, &mode, f + 2, f + 3, f + 4, f + 5) ||
            !patches.expect(t == p.texture && mode == p.mode && f[0] == static_cast<float>(p.speed_u) &&
                                f[2] == static_cast<float>(p.warp[0]),
                            "a patch differs")) {
            return false;
        }
    }
    Lines info(text_of(files, "info.txt"), "textualInfo,version002", map_id, error);
    unsigned flags = 0;
    std::string sky;
    return patches.at_end() && info.scan("0x%x", 1, &flags) && info.text(sky) &&
           info.expect(flags == (s.sky_box ? 1u : 0u) && sky == s.sky_resource + " " + s.sky_name, "the sky differs") &&
           info.at_end();
}

} // namespace

bool check_client_files(const RoomModel& model, const SurfaceMap& surfaces, const Lightmaps& lightmaps,
                        uint32_t map_id, const MapFiles& files, std::string& error)
{
    const MapFile* const lightmap = files.find("lightmap.bin");
    if (!check_small_files(surfaces, files, map_id, error) ||
        !check_geometry(surfaces, model.movers.size(), text_of(files, "geometry.txt"), map_id, error) ||
        !check_lights(model, text_of(files, "lights.txt"), map_id, error)) {
        return false;
    }
    return lightmap != nullptr && check_lightmap(lightmaps, lightmap->bytes, map_id, error);
}

} // namespace mapgen
