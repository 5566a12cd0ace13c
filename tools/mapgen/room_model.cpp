#include "tools/mapgen/room_model.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace mapgen {

namespace {

constexpr double COORD_MAX = 1e6;

std::vector<std::string> split_words(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    std::string w;
    while (in >> w) {
        words.push_back(w);
    }
    return words;
}

// A finite float within the coordinate range, kept at float precision so
// that what the files hold is what the model computed with.
bool parse_coord(const std::string& word, double& value)
{
    char* end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0' || !std::isfinite(v) || std::fabs(v) > COORD_MAX) {
        return false;
    }
    value = static_cast<double>(static_cast<float>(v));
    return true;
}

bool parse_box(const std::vector<std::string>& words, size_t first, Box& box)
{
    double c[6];
    for (int i = 0; i < 6; ++i) {
        if (!parse_coord(words[first + static_cast<size_t>(i)], c[i])) {
            return false;
        }
    }
    for (int k = 0; k < 3; ++k) {
        box.lo[k] = std::fmin(c[k], c[k + 3]);
        box.hi[k] = std::fmax(c[k], c[k + 3]);
    }
    return true;
}

bool valid_name(const std::string& name)
{
    for (const char c : name) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) {
            return false;
        }
    }
    return !name.empty();
}

int find_room(const RoomModel& model, const std::string& name)
{
    for (size_t i = 0; i < model.rooms.size(); ++i) {
        if (model.rooms[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The door lies where its rooms touch and inside both rooms' faces.
bool door_fits(const RoomModel& model, Doorway& door, std::string& why)
{
    int flat = -1;
    for (int k = 0; k < 3; ++k) {
        if (door.box.lo[k] == door.box.hi[k]) {
            if (flat >= 0) {
                why = "a door must be flat on exactly one axis";
                return false;
            }
            flat = k;
        }
    }
    if (flat < 0) {
        why = "a door must be flat on exactly one axis";
        return false;
    }
    door.axis = flat;
    const Box& a = model.rooms[static_cast<size_t>(door.a)].box;
    const Box& b = model.rooms[static_cast<size_t>(door.b)].box;
    const double c = door.box.lo[flat];
    if (!((a.hi[flat] == c && b.lo[flat] == c) || (b.hi[flat] == c && a.lo[flat] == c))) {
        why = "the door is not on a wall that its two rooms share";
        return false;
    }
    for (int k = 0; k < 3; ++k) {
        if (k != flat && (door.box.lo[k] < std::fmax(a.lo[k], b.lo[k]) || door.box.hi[k] > std::fmin(a.hi[k], b.hi[k]))) {
            why = "the door reaches beyond the wall that its rooms share";
            return false;
        }
    }
    return true;
}

bool positive_size(const Box& box)
{
    for (int k = 0; k < 3; ++k) {
        if (!(box.lo[k] < box.hi[k])) {
            return false;
        }
    }
    return true;
}

bool parse_int32(const std::string& word, int32_t& value)
{
    char* end = nullptr;
    const long long v = std::strtoll(word.c_str(), &end, 0);
    if (end == word.c_str() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

// n steps filling the box, each a block from the floor of the box up to its
// own height, rising toward the given direction.
bool add_stairs(RoomModel& model, const Box& box, const std::string& count, const std::string& direction)
{
    int32_t n = 0;
    static const char* const directions[4] = {"+x", "-x", "+y", "-y"};
    int d = 0;
    while (d < 4 && direction != directions[d]) {
        ++d;
    }
    if (!parse_int32(count, n) || n < 1 || n > 256 || d == 4) {
        return false;
    }
    const int axis = d / 2;
    const bool rising_up_axis = d % 2 == 0;
    const double depth = (box.hi[axis] - box.lo[axis]) / n;
    const double rise = (box.hi[2] - box.lo[2]) / n;
    for (int32_t k = 0; k < n; ++k) {
        Block step;
        step.box = box;
        const int32_t slot = rising_up_axis ? k : n - 1 - k;
        step.box.lo[axis] = static_cast<float>(box.lo[axis] + depth * slot);
        step.box.hi[axis] = slot == n - 1 ? box.hi[axis] : static_cast<float>(box.lo[axis] + depth * (slot + 1));
        step.box.hi[2] = k == n - 1 ? box.hi[2] : static_cast<float>(box.lo[2] + rise * (k + 1));
        model.blocks.push_back(step);
    }
    return true;
}

bool parse_light(const std::vector<std::string>& w, RoomModel& model)
{
    Light light;
    for (size_t k = 0; k < 3; ++k) {
        if (!parse_coord(w[1 + k], light.position[k])) {
            return false;
        }
    }
    if (!parse_coord(w[4], light.range) || !(light.range >= 0.01 && light.range <= 100.0) ||
        !parse_coord(w[5], light.intensity) || !(light.intensity >= 0.0 && light.intensity <= 1.0)) {
        return false;
    }
    for (size_t k = 0; k < 3; ++k) {
        int32_t c = 0;
        if (!parse_int32(w[6 + k], c) || c < 0 || c > 255) {
            return false;
        }
        light.colour[k] = c;
    }
    if (w.size() == 11) {
        int32_t lamp = 0;
        if (w[9] != "lamp" || !parse_int32(w[10], lamp) || lamp < 1 || lamp > 255) {
            return false;
        }
        light.lamp = lamp;
    }
    model.lights.push_back(light);
    return true;
}

bool fail(std::string& error, int line, const std::string& why)
{
    error = "line " + std::to_string(line) + ": " + why;
    return false;
}

} // namespace

std::vector<std::array<double, 3>> hull_vectors(const RoomModel& model)
{
    if (!model.hulls.empty()) {
        return model.hulls;
    }
    return {{0.0, 0.0, 0.0}, {8.0, 8.0, 8.0}, {16.0, 16.0, 28.0}};
}

bool boxes_overlap(const Box& a, const Box& b)
{
    for (int k = 0; k < 3; ++k) {
        const bool flat = a.lo[k] == a.hi[k] || b.lo[k] == b.hi[k];
        if (flat ? (a.hi[k] < b.lo[k] || b.hi[k] < a.lo[k]) : (a.hi[k] <= b.lo[k] || b.hi[k] <= a.lo[k])) {
            return false;
        }
    }
    return true;
}

bool parse_room_model(const std::string& text, RoomModel& model, std::string& error)
{
    model = RoomModel{};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::vector<std::string> w = split_words(line);
        if (w.empty()) {
            continue;
        }
        if (w[0] == "id" && w.size() == 2) {
            char* end = nullptr;
            const unsigned long long v = std::strtoull(w[1].c_str(), &end, 0);
            if (end == w[1].c_str() || *end != '\0' || v > 0xFFFFFFFFull || w[1][0] == '-') {
                return fail(error, number, "the map identifier must be a 32-bit number");
            }
            model.map_id = static_cast<uint32_t>(v);
        } else if (w[0] == "margin" && w.size() == 2) {
            if (!parse_coord(w[1], model.margin) || !(model.margin >= 1.0)) {
                return fail(error, number, "the margin must be a number of at least 1");
            }
        } else if (w[0] == "room" && w.size() == 8) {
            Room room;
            room.name = w[1];
            if (!valid_name(room.name) || find_room(model, room.name) >= 0) {
                return fail(error, number, "room names must be new words of letters, digits, '_' and '-'");
            }
            if (!parse_box(w, 2, room.box)) {
                return fail(error, number, "coordinates must be finite numbers within 1e6");
            }
            for (int k = 0; k < 3; ++k) {
                if (!(room.box.lo[k] < room.box.hi[k])) {
                    return fail(error, number, "a room needs a positive size on every axis");
                }
            }
            for (const Room& other : model.rooms) {
                if (boxes_overlap(room.box, other.box)) {
                    return fail(error, number, "room " + room.name + " overlaps room " + other.name);
                }
            }
            model.rooms.push_back(room);
            model.looks.emplace_back();
        } else if (w[0] == "door" && w.size() == 9) {
            Doorway door;
            door.a = find_room(model, w[1]);
            door.b = find_room(model, w[2]);
            if (door.a < 0 || door.b < 0 || door.a == door.b) {
                return fail(error, number, "a door joins two different rooms named before it");
            }
            if (!parse_box(w, 3, door.box)) {
                return fail(error, number, "coordinates must be finite numbers within 1e6");
            }
            std::string why;
            if (!door_fits(model, door, why)) {
                return fail(error, number, why);
            }
            for (const Doorway& other : model.doors) {
                if (boxes_overlap(door.box, other.box) && other.axis == door.axis &&
                    other.box.lo[door.axis] == door.box.lo[door.axis]) {
                    return fail(error, number, "doors may not overlap");
                }
            }
            model.doors.push_back(door);
        } else if (w[0] == "hull" && w.size() == 4) {
            std::array<double, 3> h{};
            if (model.hulls.size() >= 8) {
                return fail(error, number, "at most 8 hull vectors");
            }
            for (size_t k = 0; k < 3; ++k) {
                if (!parse_coord(w[k + 1], h[k]) || h[k] < 0.0 || h[k] > 4096.0) {
                    return fail(error, number, "a hull vector holds three numbers from 0 to 4096");
                }
            }
            model.hulls.push_back(h);
        } else if (w[0] == "block" && (w.size() == 7 || w.size() == 8)) {
            Block block;
            if (!parse_box(w, 1, block.box) || !positive_size(block.box)) {
                return fail(error, number, "a block needs six finite coordinates and a positive size");
            }
            if (w.size() == 8 && (!parse_int32(w[7], block.contents) || (block.contents & 0xFF) == 0)) {
                return fail(error, number, "a block's contents must be a number whose low byte is not 0");
            }
            model.blocks.push_back(block);
        } else if (w[0] == "mover" && w.size() == 7) {
            Box box;
            if (!parse_box(w, 1, box) || !positive_size(box)) {
                return fail(error, number, "a mover needs six finite coordinates and a positive size");
            }
            model.movers.push_back(box);
        } else if (w[0] == "stairs" && w.size() == 9) {
            Box box;
            if (!parse_box(w, 1, box) || !positive_size(box) || !add_stairs(model, box, w[7], w[8])) {
                return fail(error, number, "stairs need a box of positive size, 1 to 256 steps and +x, -x, +y or -y");
            }
        } else if (w[0] == "trigger" && w.size() == 8) {
            TriggerZone zone;
            if (!parse_int32(w[1], zone.number) || zone.number < 0 || zone.number >= 0x10000) {
                return fail(error, number, "a trigger number lies from 0 to 65535");
            }
            if (!parse_box(w, 2, zone.box) || !positive_size(zone.box)) {
                return fail(error, number, "a trigger needs six finite coordinates and a positive size");
            }
            model.triggers.push_back(zone);
        } else if (w[0] == "tile" && w.size() == 2) {
            if (!parse_coord(w[1], model.tile) || !(model.tile >= 16.0 && model.tile <= 256.0)) {
                return fail(error, number, "the tile step lies from 16 to 256");
            }
        } else if (w[0] == "light" && (w.size() == 9 || w.size() == 11)) {
            if (!parse_light(w, model)) {
                return fail(error, number, "a light needs a position, a range from 0.01 to 100, an intensity from 0 "
                                           "to 1, a colour of three numbers 0-255 and maybe 'lamp' 1-255");
            }
        } else if (w[0] == "sky" && w.size() == 2 && (w[1] == "box" || w[1] == "dome")) {
            model.sky_box = w[1] == "box";
        } else if (w[0] == "open" && w.size() == 2) {
            const int r = find_room(model, w[1]);
            if (r < 0) {
                return fail(error, number, "'open' names a room named before it");
            }
            model.looks[static_cast<size_t>(r)].patch[SURFACE_CEILING] = PATCH_SKY;
        } else if (w[0] == "patch" && w.size() == 4) {
            static const char* const surfaces[SURFACE_KINDS] = {"floor", "ceiling", "walls"};
            const int r = find_room(model, w[1]);
            int s = 0;
            while (s < SURFACE_KINDS && w[2] != surfaces[s]) {
                ++s;
            }
            if (r < 0 || s == SURFACE_KINDS || (w[3] != "warp" && w[3] != "scroll")) {
                return fail(error, number, "'patch' names a room, floor, ceiling or walls, and warp or scroll");
            }
            model.looks[static_cast<size_t>(r)].patch[static_cast<size_t>(s)] = w[3] == "warp" ? PATCH_WARP : PATCH_SCROLL;
        } else {
            return fail(error, number, "expected 'id <n>', 'margin <n>', 'room <name> <6 numbers>', "
                                       "'door <room> <room> <6 numbers>', 'hull', 'block', 'stairs', 'trigger', 'tile', "
                                       "'light', 'sky', 'open', 'patch' or 'mover'");
        }
    }
    if (model.rooms.empty()) {
        error = "the description has no room";
        return false;
    }
    return true;
}

} // namespace mapgen
