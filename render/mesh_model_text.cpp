// The reader of textual mesh model files ("textualModel,version004").
//
// Header lines: magic, skin count, skin name pattern (its last character
// becomes the skin's digit), triangles, two unused lines, groups, vertices,
// sets, group references, an unused line, frames, frame points. Body: per
// skin its size, strip and fan counts and the polygons (corner count, then a
// line per corner: vertex, u, v in texels); the sets (members, vertices,
// member groups); the groups (pivot vertex, points); the vertices (group,
// second); the frames (group, origin, scale, then x y z n per point).
// Lines that begin with '#' may stand anywhere.
#include "renderer/mesh_model.h"

#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "fsys/fsys.h"
#include "renderer/texture_file.h"
#include "world/view/texture_memory.h"
#include "world/mesh_normals.h"
#include "world/text_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr const char* MESH_MAGIC = "textualModel,version004";
constexpr const char* MODEL_PATH = "models";

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char c)
{
    if (is_digit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

class ModelText {
public:
    ModelText(FileStream* stream, const char* path) : stream_(stream), path_(path) {}

    // Always false, after naming the file, the line and the fault.
    bool fail(const char* why)
    {
        print_format(P_ERROR, "Mesh: %s, line %d: %s", path_, line_number_, why);
        return false;
    }

    bool next_line()
    {
        for (;;) {
            ++line_number_;
            char* const got = stream_->read_line(line_, TEXT_LINE_SIZE);
            if (got == nullptr) {
                return fail("the file ends early");
            }
            const size_t length = std::strlen(line_);
            if (length + 1 >= static_cast<size_t>(TEXT_LINE_SIZE) && line_[length - 1] != '\n') {
                return fail("line too long");
            }
            if (line_[0] != '#') {
                break;
            }
        }
        cut_at_newline(line_);
        cursor_ = line_;
        return true;
    }
    bool skip_lines(int n)
    {
        for (int i = 0; i < n; ++i) {
            if (!next_line()) {
                return false;
            }
        }
        return true;
    }

    const char* line() const { return line_; }

    // A count from the start of a new line: blanks, a sign, decimal digits;
    // no digits counts 0. Refused outside 0..max.
    bool count_line(int32_t& value, int32_t min, int32_t max, const char* what)
    {
        if (!next_line()) {
            return false;
        }
        const char* p = line_;
        while (is_blank(*p)) {
            ++p;
        }
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            ++p;
        }
        int64_t v = 0;
        for (; is_digit(*p); ++p) {
            v = v * 10 + (*p - '0');
            if (v > INT32_MAX) {
                break;
            }
        }
        v = negative ? -v : v;
        if (v < min || v > max) {
            char why[96];
            std::snprintf(why, sizeof why, "%s must be %d to %d", what, min, max);
            return fail(why);
        }
        value = static_cast<int32_t>(v);
        return true;
    }

    // An unsigned number of the current line, in decimal, 0x hexadecimal or
    // 0 octal; a sign wraps as unsigned conversion does.
    bool number(uint32_t& value, const char* what)
    {
        const char* p = cursor_;
        while (is_blank(*p)) {
            ++p;
        }
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            ++p;
        }
        int base = 10;
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16) {
            base = 16;
            p += 2;
        } else if (p[0] == '0') {
            base = 8;
        }
        if (digit_value(*p) >= base) {
            return missing(what);
        }
        uint64_t v = 0;
        for (; digit_value(*p) < base; ++p) {
            v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(*p));
            if (v > 0xFFFFFFFFull) {
                return missing(what);
            }
        }
        value = negative ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
        cursor_ = p;
        return true;
    }
    bool index(uint32_t& value, uint32_t limit, const char* what)
    {
        if (!number(value, what)) {
            return false;
        }
        if (value >= limit) {
            char why[96];
            std::snprintf(why, sizeof why, "%s %u out of range (below %u)", what, value, limit);
            return fail(why);
        }
        return true;
    }

    bool real(float& value, const char* what)
    {
        char* end = nullptr;
        const double v = std::strtod(cursor_, &end);
        if (end == cursor_ || !std::isfinite(v) || std::fabs(v) > 3.0e38) {
            return missing(what);
        }
        value = static_cast<float>(v);
        cursor_ = end;
        return true;
    }
    bool reals_line(float* values, int n, const char* what)
    {
        if (!next_line()) {
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
    bool missing(const char* what)
    {
        char why[96];
        std::snprintf(why, sizeof why, "%s missing or not a number", what);
        return fail(why);
    }

    FileStream* stream_;
    const char* path_;
    char line_[TEXT_LINE_SIZE] = {};
    const char* cursor_ = line_;
    int32_t line_number_ = 0;
};

template <typename T> bool allocate(T*& array, int32_t n, CacheOwner* owner)
{
    if (n == 0) {
        return true;
    }
    void* const place = texture_alloc(sizeof(T) * static_cast<size_t>(n), owner, "MeshData");
    if (place == nullptr) {
        return false;
    }
    array = new (place) T[static_cast<size_t>(n)]();
    return true;
}

struct Counts {
    int32_t triangles;
    int32_t groups;
    int32_t vertices;
    int32_t sets;
    int32_t group_refs;
    int32_t frames;
    int32_t frame_points;
};

class ModelReader {
public:
    ModelReader(MeshData& data, CacheOwner* owner, const char* resource, ModelText& text)
        : d_(data), owner_(owner), resource_(resource), text_(text)
    {
    }

    bool read()
    {
        return header() && skins() && arrays() && triangles() && sets() && groups() && vertices() && frames() &&
               structure();
    }

private:
    bool header()
    {
        if (!text_.next_line() || std::strcmp(text_.line(), MESH_MAGIC) != 0) {
            return text_.fail("not a textual model (version 4)");
        }
        return text_.count_line(d_.skin_images, 1, MESH_MAX_SKINS, "skin count");
    }

    bool skins()
    {
        void* const place = texture_alloc(sizeof(Texture) * static_cast<size_t>(d_.skin_images), owner_, "SkinImage");
        if (place == nullptr) {
            return text_.fail("out of memory");
        }
        d_.skin_image = new (place) Texture[static_cast<size_t>(d_.skin_images)]();
        if (!text_.next_line()) {
            return false;
        }
        char skin[TEXT_LINE_SIZE];
        std::strcpy(skin, text_.line());
        const size_t length = std::strlen(skin);
        if (length == 0) {
            return text_.fail("empty skin name pattern");
        }
        for (int32_t i = 0; i < d_.skin_images; ++i) {
            skin[length - 1] = static_cast<char>('0' + i);
            if (find_texture_file(d_.skin_image[i], MODEL_PATH, resource_, skin, owner_) == 0) {
                char why[TEXT_LINE_SIZE + 32];
                std::snprintf(why, sizeof why, "can't load the skin '%s'", skin);
                return text_.fail(why);
            }
        }
        return true;
    }

    bool arrays()
    {
        return text_.count_line(c_.triangles, 0, MESH_MAX_TRIS, "triangle count") && text_.skip_lines(2) &&
               text_.count_line(c_.groups, 0, MESH_MAX_GROUPS, "group count") &&
               text_.count_line(c_.vertices, 0, MESH_MAX_VERTS, "vertex count") &&
               text_.count_line(c_.sets, c_.groups, MESH_MAX_SETS, "set count (at least the groups)") &&
               text_.count_line(c_.group_refs, 0, MESH_MAX_GROUP_REFS, "group reference count") &&
               text_.skip_lines(1) && text_.count_line(c_.frames, 0, MESH_MAX_FRAMES, "frame count") &&
               text_.count_line(c_.frame_points, 0, MESH_MAX_FRAME_POINTS, "frame point count") &&
               allocate_all();
    }

    bool allocate_all()
    {
        const bool ok = allocate(d_.triangle, c_.triangles, owner_) && allocate(d_.group, c_.groups, owner_) &&
                        allocate(d_.vertex, c_.vertices, owner_) && allocate(d_.set, c_.sets, owner_) &&
                        allocate(d_.group_ref, c_.group_refs, owner_) && allocate(d_.frame, c_.frames, owner_) &&
                        allocate(d_.frame_point, c_.frame_points, owner_);
        return ok || text_.fail("out of memory");
    }

    bool triangles()
    {
        for (int32_t i = 0; i < d_.skin_images; ++i) {
            const Texture& skin = d_.skin_image[i];
            uint32_t usize = 0;
            uint32_t vsize = 0;
            if (!text_.next_line() || !text_.number(usize, "skin width") || !text_.number(vsize, "skin height")) {
                return false;
            }
            if (usize != static_cast<uint32_t>(skin.usize) || vsize != static_cast<uint32_t>(skin.vsize)) {
                return text_.fail("skin size differs from the skin image");
            }
            int32_t strips = 0;
            int32_t fans = 0;
            if (!text_.count_line(strips, 0, MESH_MAX_TRIS, "strip count") ||
                !text_.count_line(fans, 0, MESH_MAX_TRIS, "fan count")) {
                return false;
            }
            for (int32_t k = 0; k < strips + fans; ++k) {
                if (!polygon(skin, k < strips)) {
                    return false;
                }
            }
        }
        d_.triangles = c_.triangles;
        return t_ == c_.triangles || text_.fail("the triangles differ from the header's count");
    }

    struct Corner {
        uint32_t vertex;
        int32_t u;
        int32_t v;
    };

    bool corner(Corner& c)
    {
        float u = 0.0f;
        float v = 0.0f;
        if (!text_.next_line() || !text_.index(c.vertex, static_cast<uint32_t>(c_.vertices), "corner vertex") ||
            !text_.real(u, "u") || !text_.real(v, "v")) {
            return false;
        }
        c.u = float_to_int_round(static_cast<double>(u) * 65536.0);
        c.v = float_to_int_round(static_cast<double>(v) * 65536.0);
        return true;
    }

    // Strips keep the winding of their first triangle: every second triangle
    // takes its first two corners the other way round.
    bool polygon(const Texture& skin, bool strip)
    {
        int32_t k = 0;
        if (!text_.count_line(k, 3, MESH_MAX_TRIS + 2, "corner count")) {
            return false;
        }
        Corner c0;
        Corner c1;
        if (!corner(c0) || !corner(c1)) {
            return false;
        }
        for (int32_t i = 2; i < k; ++i) {
            Corner c;
            if (!corner(c)) {
                return false;
            }
            if (t_ >= c_.triangles) {
                return text_.fail("more triangles than the header's count");
            }
            const bool turned = strip && (i % 2) == 1;
            const Corner& a = turned ? c1 : c0;
            const Corner& b = turned ? c0 : c1;
            MeshTriangle& t = d_.triangle[t_++];
            t.vertex[0] = a.vertex;
            t.vertex[1] = b.vertex;
            t.vertex[2] = c.vertex;
            t.u[0] = a.u;
            t.u[1] = b.u;
            t.u[2] = c.u;
            t.v[0] = a.v;
            t.v[1] = b.v;
            t.v[2] = c.v;
            t.texture = &skin;
            if (strip) {
                c0 = c1;
            }
            c1 = c;
        }
        return true;
    }

    bool sets()
    {
        d_.sets = c_.sets;
        int32_t refs = 0;
        int64_t vertex_total = 0;
        for (int32_t k = 0; k < c_.sets; ++k) {
            MeshSet& s = d_.set[k];
            uint32_t members = 0;
            uint32_t produced = 0;
            if (!text_.next_line() || !text_.number(members, "member count") ||
                !text_.number(produced, "set vertex count")) {
                return false;
            }
            if (k >= c_.groups && (members < 1 || members >= static_cast<uint32_t>(INV_TABLE_SIZE))) {
                return text_.fail("a blended set needs 1 to 63 members");
            }
            if (members > static_cast<uint32_t>(c_.group_refs - refs)) {
                return text_.fail("more set members than the header's count");
            }
            s.first = d_.group_ref + refs;
            s.groups = members;
            s.vertices = produced;
            for (uint32_t m = 0; m < members; ++m) {
                if (!text_.index(d_.group_ref[refs++], static_cast<uint32_t>(c_.groups), "set member")) {
                    return false;
                }
            }
            vertex_total += produced;
        }
        d_.group_refs = c_.group_refs;
        if (refs != c_.group_refs) {
            return text_.fail("the set members differ from the header's count");
        }
        return vertex_total == c_.vertices || text_.fail("the sets' vertices differ from the header's count");
    }

    bool groups()
    {
        d_.groups = c_.groups;
        for (int32_t k = 0; k < c_.groups; ++k) {
            if (!text_.next_line() || !text_.number(d_.group[k].pivot_id, "pivot vertex") ||
                !text_.number(d_.group[k].points, "group points")) {
                return false;
            }
        }
        return true;
    }

    bool vertices()
    {
        d_.vertices = c_.vertices;
        for (int32_t k = 0; k < c_.vertices; ++k) {
            if (!text_.next_line() || !text_.number(d_.vertex[k].group, "vertex group") ||
                !text_.number(d_.vertex[k].second, "vertex second number")) {
                return false;
            }
        }
        return true;
    }

    bool frames()
    {
        d_.frames = c_.frames;
        int32_t used = 0;
        float radius2 = 0.0f;
        for (int32_t f = 0; f < c_.frames; ++f) {
            MeshFrame& frame = d_.frame[f];
            if (!text_.count_line(frame.group_id, 0, c_.groups - 1, "frame group")) {
                return false;
            }
            if (!text_.reals_line(&frame.origin.x, 3, "origin") || !text_.reals_line(&frame.scale.x, 3, "scale")) {
                return false;
            }
            const uint32_t points = d_.group[frame.group_id].points;
            if (points > static_cast<uint32_t>(c_.frame_points - used)) {
                return text_.fail("more frame points than the header's count");
            }
            frame.first = d_.frame_point + used;
            for (uint32_t i = 0; i < points; ++i) {
                MeshFramePoint& p = d_.frame_point[used++];
                uint32_t x = 0;
                uint32_t y = 0;
                uint32_t z = 0;
                uint32_t n = 0;
                if (!text_.next_line() || !text_.number(x, "x") || !text_.number(y, "y") || !text_.number(z, "z") ||
                    !text_.number(n, "normal")) {
                    return false;
                }
                p = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(z),
                     static_cast<uint8_t>(n)};
                if (p.n >= MESH_NORMALS) {
                    return text_.fail("normal number out of range (below 162)");
                }
                const Vector at = {frame.origin.x + frame.scale.x * p.x, frame.origin.y + frame.scale.y * p.y,
                                   frame.origin.z + frame.scale.z * p.z};
                radius2 = std::max(radius2, vec_dot(at, at));
            }
        }
        d_.frame_points = c_.frame_points;
        d_.radius = std::sqrt(radius2);
        return used == c_.frame_points || text_.fail("the frame points differ from the header's count");
    }

    // What drawing relies on: every group's frames hold one point for each
    // vertex the group helps to place, every group has a frame, and a group
    // hangs on a vertex of an earlier set placed by an earlier group.
    bool structure()
    {
        std::vector<int64_t> uses(static_cast<size_t>(c_.groups), 0);
        int64_t start = 0;
        for (int32_t k = 0; k < c_.sets; ++k) {
            const MeshSet& s = d_.set[k];
            if (k < c_.groups) {
                uses[static_cast<size_t>(k)] += s.vertices;
                const uint32_t pivot = d_.group[k].pivot_id;
                if (pivot != 0 && (pivot >= start || d_.vertex[pivot].group >= static_cast<uint32_t>(k))) {
                    return text_.fail("a group hangs on a vertex no earlier group places");
                }
            } else {
                for (uint32_t m = 0; m < s.groups; ++m) {
                    uses[s.first[m]] += s.vertices;
                }
            }
            start += s.vertices;
        }
        for (int32_t g = 0; g < c_.groups; ++g) {
            if (uses[static_cast<size_t>(g)] != d_.group[g].points) {
                return text_.fail("a group's points differ from the vertices it places");
            }
            d_.first_frame[g] = -1;
        }
        for (int32_t f = c_.frames - 1; f >= 0; --f) {
            d_.first_frame[d_.frame[f].group_id] = f;
        }
        for (int32_t g = 0; g < c_.groups; ++g) {
            if (d_.first_frame[g] < 0) {
                return text_.fail("a group has no frame");
            }
        }
        return true;
    }

    MeshData& d_;
    CacheOwner* owner_;
    const char* resource_;
    ModelText& text_;
    Counts c_ = {};
    int32_t t_ = 0;
};

} // namespace

int mesh_load_text(MeshData& data, CacheOwner* owner, const char* resource, const char* name)
{
    K_ASSERT(resource && name);
    char path[64];
    if (resource[0] == '\0') {
        std::snprintf(path, sizeof path, "%s/%s.txt", MODEL_PATH, name);
    } else {
        std::snprintf(path, sizeof path, "%s/%s/%s.txt", MODEL_PATH, resource, name);
    }
    FileStream* const stream = fsys->open(path, FSYS_TEXT);
    if (stream == nullptr) {
        return 0;
    }
    ModelText text(stream, path);
    ModelReader reader(data, owner, resource, text);
    const bool ok = reader.read();
    stream->close();
    return ok ? 1 : 0;
}
