// The reader of textual mesh models for the OpenGL program. One item a line:
// magic; skin count; skin name (its last character becomes the skin's
// digit); a line not used here; counts of triangle chains, triangle
// vertices, groups, vertices, sets and group references; a line not used
// here; counts of frames and frame points. Then per skin its texel size (not
// used here), strip and fan counts and the chains (vertex count, then a line
// per vertex: model vertex, s, t); per set its reference and emit counts and
// the referenced groups; per group its pivot and point count; per vertex its
// group and point; per frame its group, offset, scale and points (x y z n).
// Lines that begin with '#' may stand anywhere.
#include "gl/gl_mesh_data.h"

#include "core/numerics.h"
#include "core/print.h"
#include "fsys/fsys.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::string_view MESH_MAGIC = "textualModel,version004";
constexpr size_t MESH_LINE_MAX = 1023; // characters a line, its end included
constexpr int64_t MESH_FILE_MAX = 64 << 20;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

class ModelLines {
public:
    explicit ModelLines(std::string_view text) : rest_(text) {}

    // Always false, after naming the line and the fault.
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        char text[160];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        why_ = "line " + std::to_string(number_) + ": " + text;
        return false;
    }
    const std::string& why() const { return why_; }

    bool next()
    {
        for (;;) {
            ++number_;
            if (rest_.empty()) {
                return fail("the file ends early");
            }
            const size_t end = rest_.find('\n');
            const size_t length = end == std::string_view::npos ? rest_.size() : end;
            if (length + 1 > MESH_LINE_MAX) {
                return fail("line longer than %zu characters", MESH_LINE_MAX - 1);
            }
            line_ = rest_.substr(0, length);
            rest_.remove_prefix(end == std::string_view::npos ? length : length + 1);
            if (!line_.empty() && line_.back() == '\r') {
                line_.remove_suffix(1);
            }
            if (line_.empty() || line_[0] != '#') {
                return true;
            }
        }
    }

    std::string_view line() const { return line_; }

    // A decimal integer of the current line (blanks, a sign, digits, then a
    // blank or the line's end), refused outside min..max.
    bool integer(int64_t& value, int64_t min, int64_t max, const char* what)
    {
        skip_blanks();
        bool negative = false;
        if (!line_.empty() && (line_[0] == '+' || line_[0] == '-')) {
            negative = line_[0] == '-';
            line_.remove_prefix(1);
        }
        size_t digits = 0;
        int64_t v = 0;
        for (; digits < line_.size() && line_[digits] >= '0' && line_[digits] <= '9'; ++digits) {
            v = v * 10 + (line_[digits] - '0');
            if (v > INT32_MAX + int64_t{1}) {
                return fail("%s too large", what);
            }
        }
        if (digits == 0 || !at_separator(digits)) {
            return fail("%s missing or not a number", what);
        }
        line_.remove_prefix(digits);
        value = negative ? -v : v;
        if (value < min || value > max) {
            return fail("%s %lld out of range (%lld to %lld)", what, static_cast<long long>(value),
                        static_cast<long long>(min), static_cast<long long>(max));
        }
        return true;
    }
    bool integer32(int32_t& value, int64_t min, int64_t max, const char* what)
    {
        int64_t v = 0;
        if (!integer(v, min, max, what)) {
            return false;
        }
        value = static_cast<int32_t>(v);
        return true;
    }
    // A count on a line of its own, up to the file's size: every item of the
    // contents takes at least one character.
    bool count_line(int32_t& value, int64_t min, int64_t max, const char* what)
    {
        return next() && integer32(value, min, std::min<int64_t>(max, static_cast<int64_t>(bound_)), what);
    }

    // A finite float of the current line.
    bool real(float& value, const char* what)
    {
        skip_blanks();
        if (line_.size() > 1 && line_[0] == '+' && line_[1] != '-') {
            line_.remove_prefix(1);
        }
        float v = 0.0f;
        const auto [end, error] = std::from_chars(line_.data(), line_.data() + line_.size(), v);
        const size_t used = static_cast<size_t>(end - line_.data());
        if (error != std::errc() || used == 0 || !at_separator(used) || !std::isfinite(v)) {
            return fail("%s missing or not a finite number", what);
        }
        line_.remove_prefix(used);
        value = v;
        return true;
    }
    bool reals_line(float* values, int n, const char* what)
    {
        if (!next()) {
            return false;
        }
        for (int i = 0; i < n; ++i) {
            if (!real(values[i], what)) {
                return false;
            }
        }
        return true;
    }

private:
    void skip_blanks()
    {
        while (!line_.empty() && is_blank(line_[0])) {
            line_.remove_prefix(1);
        }
    }
    bool at_separator(size_t i) const { return i == line_.size() || is_blank(line_[i]); }

    std::string_view rest_;
    std::string_view line_;
    const size_t bound_ = rest_.size();
    int32_t number_ = 0;
    std::string why_;
};

class ModelReader {
public:
    ModelReader(GLMeshData& data, ModelLines& lines) : d_(data), in_(lines) {}

    bool read()
    {
        return magic() && skin_names() && counts() && chains() && sets() && groups() && vertices() && pivots() &&
               frames();
    }

private:
    bool magic()
    {
        if (!in_.next() || in_.line() != MESH_MAGIC) {
            return in_.fail("not a textual model (version 4)");
        }
        return true;
    }

    bool skin_names()
    {
        int32_t skins = 0;
        if (!in_.count_line(skins, 1, MESH_MAX_SKINS, "skin count") || !in_.next()) {
            return false;
        }
        const std::string_view pattern = in_.line();
        if (pattern.empty() || pattern.size() > MESH_SKIN_NAMELEN) {
            return in_.fail("skin name of %zu characters (1 to %d)", pattern.size(), MESH_SKIN_NAMELEN);
        }
        if (!d_.skin_image.allocate(static_cast<size_t>(skins), d_.owner, "SkinImage")) {
            return in_.fail("no memory for %d skins", skins);
        }
        for (int32_t i = 0; i < skins; ++i) {
            GLMeshSkin& skin = d_.skin_image[static_cast<size_t>(i)];
            std::memset(&skin, 0, sizeof skin);
            pattern.copy(skin.name, pattern.size());
            skin.name[pattern.size() - 1] = static_cast<char>('0' + i);
        }
        return true;
    }

    bool counts()
    {
        int32_t chains = 0;
        int32_t chain_vertices = 0;
        int32_t groups = 0;
        int32_t vertices = 0;
        int32_t sets = 0;
        int32_t refs = 0;
        int32_t frames = 0;
        int32_t points = 0;
        if (!in_.next() || !in_.count_line(chains, 0, INT32_MAX, "triangle chain count") ||
            !in_.count_line(chain_vertices, 0, INT32_MAX, "triangle vertex count") ||
            !in_.count_line(groups, 0, MESH_MAX_GROUPS, "group count") ||
            !in_.count_line(vertices, 0, MESH_MAX_VERTS, "vertex count") ||
            !in_.count_line(sets, groups, INT32_MAX, "set count (at least the groups)") ||
            !in_.count_line(refs, 0, INT32_MAX, "group reference count") || !in_.next() ||
            !in_.count_line(frames, 0, INT32_MAX, "frame count") ||
            !in_.count_line(points, 0, INT32_MAX, "frame point count")) {
            return false;
        }
        const auto block = [this](auto& array, int32_t n) {
            return array.allocate(static_cast<size_t>(n), d_.owner, "MeshData");
        };
        if (!block(d_.triangle_chain, chains) || !block(d_.triangle_vertex, chain_vertices) ||
            !block(d_.group, groups) || !block(d_.vertex, vertices) || !block(d_.set, sets) ||
            !block(d_.group_ref, refs) || !block(d_.frame, frames) || !block(d_.frame_point, points)) {
            return in_.fail("no memory for the model's arrays");
        }
        return true;
    }

    bool chains()
    {
        const size_t chains = d_.triangle_chain.size();
        const size_t chain_vertices = d_.triangle_vertex.size();
        size_t tc = 0;
        size_t tv = 0;
        for (GLMeshSkin& skin : d_.skin_image) {
            if (!in_.next() || !in_.count_line(skin.strips, 0, INT32_MAX, "strip count") ||
                !in_.count_line(skin.fans, 0, INT32_MAX, "fan count")) {
                return false;
            }
            if (static_cast<uint64_t>(skin.strips) + static_cast<uint64_t>(skin.fans) > chains - tc) {
                return in_.fail("more triangle chains than the header's %zu", chains);
            }
            skin.first_strip = static_cast<int32_t>(tc);
            skin.first_fan = skin.first_strip + skin.strips;
            for (int32_t k = 0; k < skin.strips + skin.fans; ++k) {
                GLMeshTriangleChain& chain = d_.triangle_chain[tc++];
                if (!in_.count_line(chain.count, 0, INT32_MAX, "chain vertex count")) {
                    return false;
                }
                if (static_cast<size_t>(chain.count) > chain_vertices - tv) {
                    return in_.fail("more triangle vertices than the header's %zu", chain_vertices);
                }
                chain.first = static_cast<int32_t>(tv);
                for (int32_t i = 0; i < chain.count; ++i) {
                    if (!chain_vertex(d_.triangle_vertex[tv++])) {
                        return false;
                    }
                }
            }
        }
        if (tc != chains) {
            return in_.fail("%zu triangle chains, the header says %zu", tc, chains);
        }
        if (tv != chain_vertices) {
            return in_.fail("%zu triangle vertices, the header says %zu", tv, chain_vertices);
        }
        return true;
    }

    bool chain_vertex(GLMeshTriangleVertex& v)
    {
        float s = 0.0f;
        float t = 0.0f;
        if (!in_.next() || !in_.integer32(v.vertex, 0, d_.vertices() - 1, "triangle vertex index") ||
            !in_.real(s, "s") || !in_.real(t, "t")) {
            return false;
        }
        v.s = float_to_int_trunc(s);
        v.t = float_to_int_trunc(t);
        if (v.s == INT_INDEFINITE || v.t == INT_INDEFINITE) {
            return in_.fail("texel coordinate beyond 32 bits");
        }
        return true;
    }

    bool sets()
    {
        const int32_t groups = d_.groups();
        const size_t refs = d_.group_ref.size();
        size_t gr = 0;
        int64_t emitted = 0;
        for (int32_t k = 0; k < static_cast<int32_t>(d_.set.size()); ++k) {
            GLMeshSet& set = d_.set[static_cast<size_t>(k)];
            const bool shared = k >= groups;
            if (!in_.next() || !in_.integer32(set.groups, shared ? 1 : 0, shared ? INV_TABLE_SIZE - 1 : INT32_MAX,
                                              shared ? "shared vertex group count" : "group reference count") ||
                !in_.integer32(set.vertices, 0, MESH_MAX_VERTS, "emitted vertex count")) {
                return false;
            }
            if (static_cast<size_t>(set.groups) > refs - gr) {
                return in_.fail("more group references than the header's %zu", refs);
            }
            set.first_ref = static_cast<int32_t>(gr);
            for (int32_t i = 0; i < set.groups; ++i) {
                if (!in_.integer32(d_.group_ref[gr++], 0, groups - 1, "referenced group")) {
                    return false;
                }
            }
            emitted += set.vertices;
        }
        if (gr != refs) {
            return in_.fail("%zu group references, the header says %zu", gr, refs);
        }
        if (emitted != d_.vertices()) {
            return in_.fail("the sets emit %lld vertices, the header says %d", static_cast<long long>(emitted),
                            d_.vertices());
        }
        return true;
    }

    bool groups()
    {
        // Points each group's frames must hold: one per vertex of its own set
        // and one per reference to it for every vertex of a shared set.
        std::vector<int64_t> uses(d_.group.size(), 0);
        for (size_t k = 0; k < d_.set.size(); ++k) {
            const GLMeshSet& set = d_.set[k];
            if (k < uses.size()) {
                uses[k] += set.vertices;
                continue;
            }
            for (int32_t i = 0; i < set.groups; ++i) {
                uses[static_cast<size_t>(d_.group_ref[static_cast<size_t>(set.first_ref + i)])] += set.vertices;
            }
        }
        int64_t emitted = 0;
        for (size_t k = 0; k < d_.group.size(); ++k) {
            GLMeshGroup& group = d_.group[k];
            // A pivot must be emitted by an earlier group in the same frame.
            if (!in_.next() || !in_.integer32(group.pivot_id, 0, emitted == 0 ? 0 : emitted - 1, "pivot vertex") ||
                !in_.integer32(group.points, uses[k], uses[k], "point count (the points its vertices take)")) {
                return false;
            }
            emitted += d_.set[k].vertices;
        }
        return true;
    }

    bool vertices()
    {
        for (GLMeshVertex& v : d_.vertex) {
            if (!in_.next() || !in_.integer32(v.group, INT32_MIN, INT32_MAX, "vertex group") ||
                !in_.integer32(v.point, INT32_MIN, INT32_MAX, "vertex point")) {
                return false;
            }
        }
        return true;
    }

    // A group copies the rotation of the group named by its pivot's record:
    // that group's matrix must be built already in the same frame.
    bool pivots()
    {
        for (int32_t k = 0; k < d_.groups(); ++k) {
            const int32_t pivot = d_.group[static_cast<size_t>(k)].pivot_id;
            if (pivot == 0) {
                continue;
            }
            const int32_t owner = d_.vertex[static_cast<size_t>(pivot)].group;
            if (owner < 0 || owner >= k) {
                return in_.fail("group %d pivots on vertex %d of group %d, not an earlier group", k, pivot, owner);
            }
        }
        return true;
    }

    bool frames()
    {
        const size_t points = d_.frame_point.size();
        size_t fr = 0;
        double radius = 0.0;
        for (GLMeshFrame& frame : d_.frame) {
            if (!in_.count_line(frame.group_id, 0, d_.groups() - 1, "frame group") ||
                !in_.reals_line(frame.offset, 3, "offset") || !in_.reals_line(frame.scale, 3, "scale")) {
                return false;
            }
            const size_t n = static_cast<size_t>(d_.group[static_cast<size_t>(frame.group_id)].points);
            if (n > points - fr) {
                return in_.fail("more frame points than the header's %zu", points);
            }
            frame.first_point = static_cast<int32_t>(fr);
            for (size_t i = 0; i < n; ++i) {
                GLMeshFramePoint& p = d_.frame_point[fr++];
                int32_t x = 0;
                int32_t y = 0;
                int32_t z = 0;
                int32_t normal = 0;
                if (!in_.next() || !in_.integer32(x, 0, 255, "x") || !in_.integer32(y, 0, 255, "y") ||
                    !in_.integer32(z, 0, 255, "z") || !in_.integer32(normal, 0, MESH_NORMALS - 1, "normal index")) {
                    return false;
                }
                p = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(z),
                     static_cast<uint8_t>(normal)};
                const float at[3] = {frame.offset[0] + frame.scale[0] * static_cast<float>(p.x),
                                     frame.offset[1] + frame.scale[1] * static_cast<float>(p.y),
                                     frame.offset[2] + frame.scale[2] * static_cast<float>(p.z)};
                radius = std::max(radius, std::sqrt(double(at[0]) * at[0] + double(at[1]) * at[1] +
                                                    double(at[2]) * at[2]));
            }
        }
        if (fr != points) {
            return in_.fail("%zu frame points, the header says %zu", fr, points);
        }
        d_.radius = static_cast<float>(radius);
        if (!std::isfinite(d_.radius)) {
            return in_.fail("frame points beyond the float range");
        }
        return true;
    }

    GLMeshData& d_;
    ModelLines& in_;
};

} // namespace

void GLMeshData::clear()
{
    vertex.clear();
    group.clear();
    group_ref.clear();
    set.clear();
    frame.clear();
    frame_point.clear();
    triangle_vertex.clear();
    triangle_chain.clear();
    skin_image.clear();
    radius = 0.0f;
}

bool read_mesh_text(std::string_view text, GLMeshData& data, std::string& why)
{
    data.clear();
    ModelLines lines(text);
    ModelReader reader(data, lines);
    if (reader.read()) {
        return true;
    }
    data.clear();
    why = lines.why();
    return false;
}

int load_mesh_text(GLMeshData& data, const char* resource, const char* name)
{
    const std::string path = resource[0] == '\0' ? std::string("models/") + name + ".txt"
                                                 : std::string("models/") + resource + "/" + name + ".txt";
    data.clear();
    FileStream* const stream = fsys->open(path.c_str(), FSYS_BINARY);
    if (stream == nullptr) {
        return 0;
    }
    std::string text;
    char block[16384];
    for (size_t got; (got = stream->read(block, 1, sizeof block)) > 0;) {
        if (static_cast<int64_t>(text.size() + got) > MESH_FILE_MAX) {
            stream->close();
            print_format(P_ERROR, "Mesh: %s: larger than %lld bytes", path.c_str(), static_cast<long long>(MESH_FILE_MAX));
            return 0;
        }
        text.append(block, got);
    }
    stream->close();
    std::string why;
    if (!read_mesh_text(text, data, why)) {
        print_format(P_ERROR, "Mesh: %s, %s", path.c_str(), why.c_str());
        return 0;
    }
    return 1;
}

bool mesh_frame_of_group(const GLMeshData& data, int32_t frame, int32_t group)
{
    return frame >= 0 && frame < data.frames() && data.frame[static_cast<size_t>(frame)].group_id == group;
}
