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

bool fail(std::string& error, int line, const std::string& why)
{
    error = "line " + std::to_string(line) + ": " + why;
    return false;
}

} // namespace

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
        } else {
            return fail(error, number, "expected 'id <n>', 'margin <n>', 'room <name> <6 numbers>' or "
                                       "'door <room> <room> <6 numbers>'");
        }
    }
    if (model.rooms.empty()) {
        error = "the description has no room";
        return false;
    }
    return true;
}

} // namespace mapgen
