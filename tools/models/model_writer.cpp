#include "tools/models/model_writer.h"

#include <cstdarg>
#include <cstdio>

namespace tools {

namespace {

void line(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void line(std::string& out, const char* format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    out += buffer;
    out += '\n';
}

} // namespace

uint32_t model_triangles(const ModelDesign& design)
{
    uint32_t n = 0;
    for (const ModelSkin& skin : design.skins) {
        for (const ModelPolygon& p : skin.polygons) {
            n += p.corners.size() >= 3 ? static_cast<uint32_t>(p.corners.size() - 2) : 0;
        }
    }
    return n;
}

std::string model_text(const ModelDesign& d)
{
    size_t refs = 0;
    for (const ModelSet& s : d.sets) {
        refs += s.members.size();
    }
    size_t points = 0;
    for (const ModelFrame& f : d.frames) {
        points += f.points.size();
    }
    size_t chains = 0;
    size_t chain_corners = 0;
    for (const ModelSkin& skin : d.skins) {
        for (const ModelPolygon& p : skin.polygons) {
            ++chains;
            chain_corners += p.corners.size();
        }
    }
    std::string out;
    line(out, "textualModel,version004");
    line(out, "%zu", d.skins.size());
    line(out, "%s", d.skin_pattern.c_str());
    line(out, "%u", model_triangles(d));
    line(out, "%zu", chains);
    line(out, "%zu", chain_corners);
    line(out, "%zu", d.groups.size());
    line(out, "%zu", d.vertices.size());
    line(out, "%zu", d.sets.size());
    line(out, "%zu", refs);
    line(out, "0");
    line(out, "%zu", d.frames.size());
    line(out, "%zu", points);
    for (const ModelSkin& skin : d.skins) {
        line(out, "%d %d", skin.width, skin.height);
        size_t strips = 0;
        for (const ModelPolygon& p : skin.polygons) {
            strips += p.strip ? 1 : 0;
        }
        line(out, "%zu", strips);
        line(out, "%zu", skin.polygons.size() - strips);
        for (const bool strip : {true, false}) {
            for (const ModelPolygon& p : skin.polygons) {
                if (p.strip != strip) {
                    continue;
                }
                line(out, "%zu", p.corners.size());
                for (const ModelCorner& c : p.corners) {
                    line(out, "%u %.6g %.6g", c.vertex, static_cast<double>(c.u), static_cast<double>(c.v));
                }
            }
        }
    }
    for (const ModelSet& s : d.sets) {
        std::string members;
        for (uint32_t m : s.members) {
            members += " " + std::to_string(m);
        }
        line(out, "%zu %u%s", s.members.size(), s.vertices, members.c_str());
    }
    for (const ModelGroup& g : d.groups) {
        line(out, "%u %u", g.pivot, g.points);
    }
    for (const ModelVertex& v : d.vertices) {
        line(out, "%u %u", v.group, v.second);
    }
    for (const ModelFrame& f : d.frames) {
        line(out, "%d", f.group);
        line(out, "%.9g %.9g %.9g", double(f.origin[0]), double(f.origin[1]), double(f.origin[2]));
        line(out, "%.9g %.9g %.9g", double(f.scale[0]), double(f.scale[1]), double(f.scale[2]));
        for (const ModelPoint& p : f.points) {
            line(out, "%u %u %u %u", p.x, p.y, p.z, p.n);
        }
    }
    return out;
}

} // namespace tools
