#pragma once
// The whole engine in this process on the demo game's base directory: a
// scratch folder holds a copy of the base (without its start-up script, so
// that each test says what the session does), the clock only moves when the
// test steps a frame, and the window's events come from a queue.
#include "host/host_clock.h"
#include "host/host_events.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

class Client;
class Engine;

namespace e2e {

// What the client holds of one object: enough to tell two runs apart.
struct HeldObject {
    uint32_t state = 0;
    float pose[2][6] = {}; // position x, y, z and angles a, b, c of both poses
    bool operator==(const HeldObject&) const = default;
};
void PrintTo(const HeldObject& object, std::ostream* out);
using HeldObjects = std::map<uint32_t, HeldObject>;
// The objects in which two views differ, one a line; empty when they agree.
std::string difference(const HeldObjects& expected, const HeldObjects& seen);

class DemoSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The engine with these options after the program's name.
    void start(const std::vector<const char*>& options = {});
    // One engine frame, seconds after the last; 0 once it has shut down.
    int frame(double seconds = 1.0 / 70.0);
    // Frames until the condition holds, at most `limit`; true when it held.
    bool frames_until(const std::function<bool()>& condition, int limit, double seconds = 1.0 / 70.0);
    void run(const std::string& console_text);
    // A key pressed or released through the window's events, within the next
    // frame; arrows and the keys beside them are extended ones.
    void key(uint32_t virtual_key, uint32_t scan, bool down, bool extended = false);

    Client& client() const;
    // Every object the client's decoder holds.
    HeldObjects held() const;

    std::filesystem::path folder_;
    std::filesystem::path previous_;
    host::ManualClock clock_;
    host::QueueEventSource events_;
    std::unique_ptr<host::ScopedClock> clock_guard_;
    std::unique_ptr<host::ScopedEventSource> events_guard_;
    std::unique_ptr<Engine> engine_;
};

} // namespace e2e
