#pragma once
// A walk on the demo level recorded with Record, and its playback through
// "Connect vcr.<name>" with TimeDemo set, one update a frame; with the
// objects the client held at the end of each, written to and read from a
// file so that another process (the other program) can check its playback.
#include "demo_session.h"

#include <filesystem>
#include <string>

namespace e2e {

struct Playback {
    HeldObjects held;      // as the last frame of the playback left them
    int frames = 0;        // frames the recording's map was active
    bool ended = false;    // the recording ended within the bounded frames
    bool timedemo = false; // the frame count and rate were printed
};

class RecordedWalk : public DemoSession {
protected:
    // North, a turn to the right on the way, and on to a stop, recorded as
    // "<name>.vcr" in the session's folder; the engine started already.
    void walk_recorded(const std::string& name, HeldObjects& live);
    void play_back(const std::string& name, Playback& playback);
};

// One object a line, the floats' bits in hexadecimal: exact. False when the
// file can't be written.
bool save_held(const std::filesystem::path& file, const HeldObjects& objects);
// False when the file can't be read or holds a bad line.
bool load_held(const std::filesystem::path& file, HeldObjects& objects);

} // namespace e2e
