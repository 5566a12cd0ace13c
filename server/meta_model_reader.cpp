// The reader of "models/<name>.tmm": a header line, ten lines of counts,
// sizes, radius, hook and flags, a "name value" line per tag, then per cycle
// a line "n distance divisor" and a line of n pairs "frame duration" and the
// end pose. '#' lines are skipped wherever a line is read.
#include "core/kassert.h"
#include "core/print.h"
#include "core/scan.h"
#include "fsys/file_stream.h"
#include "fsys/fsys.h"
#include "server/meta_model.h"
#include "world/text_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Bounds that keep a bad file from asking for absurd amounts of memory.
constexpr int32_t TMM_TAGS_MAX = 4096;
constexpr int32_t TMM_CYCLES_MAX = 4096;
constexpr int32_t TMM_FRAMES_MAX = 65536;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The fields of one line, left to right, each a blank-separated word.
class Fields {
public:
    explicit Fields(const char* line) : at_(line) {}

    bool decimal(int32_t& v) { return take() && scan_decimal(word_, v); }
    bool integer(int32_t& v) { return take() && scan_int(word_, v); }
    bool number(float& v) { return take() && scan_float(word_, v); }
    bool finite(float& v) { return number(v) && std::isfinite(v); }
    bool vector(Vector& v) { return finite(v.x) && finite(v.y) && finite(v.z); }
    // The next word whole; false when it does not fit in size - 1 characters.
    bool word(char* out, size_t size)
    {
        if (!take() || std::strlen(word_) >= size) {
            return false;
        }
        std::strcpy(out, word_);
        return true;
    }

private:
    bool take()
    {
        while (is_blank(*at_)) {
            ++at_;
        }
        size_t n = 0;
        while (at_[n] != '\0' && !is_blank(at_[n])) {
            ++n;
        }
        if (n == 0 || n >= sizeof word_) {
            return false;
        }
        std::memcpy(word_, at_, n);
        word_[n] = '\0';
        at_ += n;
        return true;
    }

    const char* at_;
    char word_[TEXT_LINE_SIZE];
};

class TmmReader {
public:
    TmmReader(FileStream* f, const char* path) : f_(f), path_(path) {}

    bool read(MetaModel& m);

private:
    // The next line that is not a comment; false at the end of the file.
    bool line()
    {
        ++line_number_;
        if (read_text_line(line_, f_) == nullptr) {
            return fail("the file ends early");
        }
        return true;
    }
    bool fail(const char* why)
    {
        print_format(P_ERROR, "Server: Bad meta-model %s (line %d): %s", path_, line_number_, why);
        return false;
    }
    bool count(int32_t& n, int32_t max, const char* what);
    bool read_cycle(MetaModel& m, int32_t c, int32_t& next_frame);

    FileStream* f_;
    const char* path_;
    char line_[TEXT_LINE_SIZE] = {};
    int32_t line_number_ = 0;
};

bool TmmReader::count(int32_t& n, int32_t max, const char* what)
{
    if (!line() || !Fields(line_).decimal(n)) {
        return fail(what);
    }
    if (n < 0 || n > max) {
        print_format(P_ERROR, "Server: Bad meta-model %s (line %d): %s %d is not in 0..%d", path_, line_number_,
                     what, n, max);
        return false;
    }
    return true;
}

bool TmmReader::read_cycle(MetaModel& m, int32_t c, int32_t& next_frame)
{
    int32_t n = 0;
    float distance = 0.0f;
    float divisor = 0.0f;
    {
        if (!line()) {
            return false;
        }
        Fields f(line_);
        if (!f.decimal(n) || !f.finite(distance) || !f.finite(divisor)) {
            return fail("a cycle needs its frame count, distance and time divisor");
        }
    }
    if (n < 1) {
        return fail("a cycle needs at least one frame");
    }
    if (divisor == 0.0f) {
        return fail("a time divisor of 0");
    }
    // Every timed frame and one terminating record must fit in what the counts promised.
    const int64_t timed_left = static_cast<int64_t>(m.frames) - 2 * m.poses - (m.cycles - c) - next_frame;
    if (n > timed_left) {
        return fail("the cycles hold more frames than the frame count");
    }
    MeshCycle& cycle = m.cycle[c];
    cycle.first_frame = next_frame;
    cycle.distance = distance;
    cycle.duration = 0.0f;
    if (!line()) {
        return false;
    }
    Fields f(line_);
    for (int32_t k = 0; k < n; ++k) {
        int32_t number = 0;
        float duration = 0.0f;
        if (!f.decimal(number) || !f.number(duration)) {
            return fail("a frame line holds fewer pairs than its cycle says");
        }
        if (number < 0 || number > SMESH_FRAME_MAX) {
            return fail("a frame number is not in 0..255");
        }
        duration /= divisor;
        // A frame of no time would hold the animation in one tick for ever.
        if (!(duration > 0.0f) || !std::isfinite(duration)) {
            return fail("a frame duration is not above 0");
        }
        m.frame[next_frame++] = MeshFrame{number, duration};
        cycle.duration += duration;
    }
    int32_t end_pose = 0;
    if (!f.decimal(end_pose)) {
        return fail("a frame line lacks its end pose");
    }
    if (end_pose < 0 || end_pose >= m.poses) {
        return fail("an end pose is not one of the model's poses");
    }
    cycle.last_frame = next_frame;
    m.frame[next_frame++] = MeshFrame{end_pose, 0.0f};
    return true;
}

bool TmmReader::read(MetaModel& m)
{
    ++line_number_;
    if (read_text_line(line_, f_) == nullptr || std::strncmp(line_, TMM_MAGIC, std::strlen(TMM_MAGIC)) != 0) {
        return fail("not a textual meta-model");
    }
    int32_t timed = 0;
    if (!count(m.tags, TMM_TAGS_MAX, "the tag count")) {
        return false;
    }
    // Kept as read: the server has no use for it.
    if (!line() || !Fields(line_).decimal(m.second_count)) {
        return fail("the second count");
    }
    if (!count(m.cycles, TMM_CYCLES_MAX, "the cycle count") || !count(m.poses, SMESH_POSE_MAX, "the pose count") ||
        !count(timed, TMM_FRAMES_MAX, "the frame count")) {
        return false;
    }
    int32_t flags = 0;
    if (!line() || !Fields(line_).vector(m.size) || !line() || !Fields(line_).vector(m.collision_size) ||
        !line() || !Fields(line_).finite(m.radius) || !line() || !Fields(line_).vector(m.hook) || !line() ||
        !Fields(line_).integer(flags)) {
        return fail("a size, radius, hook or flags line is bad");
    }
    m.flags = static_cast<uint32_t>(flags);
    m.frames = timed + m.cycles + 2 * m.poses;
    if (m.tags > 0) {
        m.tag.reset(new (std::nothrow) MeshTag[static_cast<size_t>(m.tags)]);
        if (m.tag == nullptr) {
            return fail("out of memory");
        }
        for (int32_t t = 0; t < m.tags; ++t) {
            MeshTag& tag = m.tag[t];
            std::memset(tag.name, 0, sizeof tag.name);
            if (!line()) {
                return false;
            }
            Fields f(line_);
            if (!f.word(tag.name, SMESH_TAG_SIZE + 1)) {
                return fail("a tag name is missing or longer than 8 characters");
            }
            if (!f.integer(tag.value)) {
                return fail("a tag lacks its value");
            }
        }
    }
    m.cycle.reset(new (std::nothrow) MeshCycle[static_cast<size_t>(m.cycles + m.poses)]);
    m.frame.reset(new (std::nothrow) MeshFrame[static_cast<size_t>(m.frames)]);
    if ((m.cycles + m.poses > 0 && m.cycle == nullptr) || (m.frames > 0 && m.frame == nullptr)) {
        return fail("out of memory");
    }
    int32_t next_frame = 0;
    for (int32_t c = 0; c < m.cycles; ++c) {
        if (!read_cycle(m, c, next_frame)) {
            return false;
        }
    }
    if (next_frame != timed + m.cycles) {
        return fail("the cycles hold fewer frames than the frame count");
    }
    for (int32_t j = 0; j < m.poses; ++j) {
        MeshCycle& cycle = m.cycle[m.pose_cycle(j)];
        cycle.first_frame = next_frame;
        m.frame[next_frame++] = MeshFrame{j, 1.0f};
        cycle.last_frame = next_frame;
        m.frame[next_frame++] = MeshFrame{j, 0.0f};
        cycle.distance = 1.0f;
        cycle.duration = 1.0f;
    }
    K_ASSERT(next_frame == m.frames);
    return true;
}

} // namespace

bool read_meta_model(MetaModel& m, const char* name)
{
    K_ASSERT(name);
    m.clear();
    // A longer name would be cut into the name of another model.
    if (std::strlen(name) >= static_cast<size_t>(SMESH_NAME_SIZE)) {
        print_format(P_WARNING, "Server: Mesh name is too long ('%s')!", name);
        return false;
    }
    std::strncpy(m.name, name, sizeof m.name);
    char path[SMESH_NAME_SIZE + 16];
    std::snprintf(path, sizeof path, "models/%s.tmm", name);
    FileStream* const f = fsys != nullptr ? fsys->open(path, FSYS_TEXT) : nullptr;
    if (f == nullptr) {
        return false;
    }
    const bool ok = TmmReader(f, path).read(m);
    f->close();
    if (!ok) {
        m.clear();
    }
    return ok;
}
