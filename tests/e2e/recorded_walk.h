#pragma once
// A walk on the demo level recorded with Record, and its playback through
// "Connect vcr.<name>" with TimeDemo set, one update a frame; with the
// objects the client held at the end of each, written to and read from a
// file so that another process (the other program) can check its playback.
#include "demo_session.h"

#include <filesystem>
#include <string>

namespace e2e {

class RecordedWalk : public DemoSession {
protected:
    // North, a turn to the right on the way, and on to a stop, recorded as
    // "<name>.vcr" in the session's folder; the engine started already.
    void walk_recorded(const std::string& name, HeldObjects& live);
    // The recording played back with TimeDemo set: it ends within a bounded
    // number of frames, more than 100 of them on its map, the frame count and
    // rate are printed, and the client holds the objects `expected` names.
    void play_back(const std::string& name, const HeldObjects& expected);
};

// One object a line, the floats' bits in hexadecimal: exact. False when the
// file can't be written.
bool save_held(const std::filesystem::path& file, const HeldObjects& objects);
// False when the file can't be read or holds a bad line.
bool load_held(const std::filesystem::path& file, HeldObjects& objects);

} // namespace e2e
