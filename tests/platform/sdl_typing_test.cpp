// Keys typed through SDL's own queue, queued as the keyboard queues them
// (key down, its text, key up; shift around capitals and symbols), read by the
// pump in the client's time slices of 1/70 s while frames come fast or late.
#include "tests/platform/client_slices.h"
#include "platform_fixture.h"

#include "console/fake_screen.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/key_codes.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Keystroke {
    SDL_Scancode scan;
    bool shift;
};

// A US keyboard; false for characters the tests don't type.
bool keystroke(char c, Keystroke& k)
{
    if (c >= 'a' && c <= 'z') {
        k = {static_cast<SDL_Scancode>(SDL_SCANCODE_A + (c - 'a')), false};
    } else if (c >= 'A' && c <= 'Z') {
        k = {static_cast<SDL_Scancode>(SDL_SCANCODE_A + (c - 'A')), true};
    } else if (c == ' ') {
        k = {SDL_SCANCODE_SPACE, false};
    } else if (c == '_') {
        k = {SDL_SCANCODE_MINUS, true};
    } else if (c == '*') {
        k = {SDL_SCANCODE_8, true};
    } else {
        return false;
    }
    return true;
}

SDL_Event key_event(Uint32 type, SDL_Scancode scan, bool shift_held)
{
    SDL_Event e{};
    e.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scan;
    e.key.keysym.sym = SDL_GetKeyFromScancode(scan);
    e.key.keysym.mod = static_cast<Uint16>(shift_held ? KMOD_LSHIFT : KMOD_NONE);
    return e;
}

SDL_Event text_event(char c)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.text[0] = c;
    return e;
}

// What happens at one moment of the timeline: SDL queues an event, a frame
// reads the engine clock, or that frame's input step runs the pump.
struct Action {
    enum Kind { QUEUE, FRAME, PUMP } kind;
    int64_t micros; // after the timer base
    SDL_Event event;
};

struct FramePace {
    const char* name;
    std::vector<int64_t> periods; // microseconds between frames, cycled
    int64_t render;               // from a frame's start to its input step (capped by the period)
};

class SdlTyping : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        bool failed = false;
        ASSERT_TRUE(host::window_open("typing", 320, 240, failed)) << SDL_GetError();
        drain(0.0, 1e9); // the window's own events
    }
    void TearDown() override
    {
        host::window_close();
        PlatformTest::TearDown();
    }

    // Queues the keys of `text` from `start` on, one key every `pace`
    // microseconds; returns the engine times (ms) at which the key events
    // (shift included) were queued, in order.
    std::vector<int64_t> type(const std::string& text, int64_t start, int64_t pace)
    {
        std::vector<int64_t> queued;
        const auto add = [&](int64_t at, const SDL_Event& e) {
            actions_.push_back({Action::QUEUE, at, e});
            if (e.type != SDL_TEXTINPUT) {
                queued.push_back(at);
            }
        };
        for (size_t i = 0; i < text.size(); ++i) {
            Keystroke k{};
            EXPECT_TRUE(keystroke(text[i], k)) << text[i];
            const int64_t at = start + static_cast<int64_t>(i) * pace;
            if (k.shift) {
                add(at - pace / 6, key_event(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT, true));
            }
            add(at, key_event(SDL_KEYDOWN, k.scan, k.shift));
            add(at, text_event(text[i]));
            add(at + pace / 3, key_event(SDL_KEYUP, k.scan, k.shift));
            if (k.shift) {
                add(at + pace / 2, key_event(SDL_KEYUP, SDL_SCANCODE_LSHIFT, false));
            }
        }
        return queued;
    }

    void frames(const FramePace& pace, int64_t until)
    {
        int64_t at = 0;
        for (size_t i = 0; at < until && i < 100000; ++i) {
            const int64_t period = pace.periods[i % pace.periods.size()];
            actions_.push_back({Action::FRAME, at, {}});
            actions_.push_back({Action::PUMP, at + std::min(pace.render, period - 1), {}});
            at += period;
        }
    }

    // Runs the timeline; the events delivered, in order.
    std::vector<InputEvent> run(Console& console)
    {
        std::stable_sort(actions_.begin(), actions_.end(),
                         [](const Action& a, const Action& b) { return a.micros < b.micros; });
        std::vector<InputEvent> got;
        ClientSlices slices;
        bool pumps = false;
        double from = 0.0;
        double to = 0.0;
        for (Action& a : actions_) {
            clock.set_micros(static_cast<int64_t>(BASE_MS) * 1000 + a.micros);
            if (a.kind == Action::QUEUE) {
                EXPECT_EQ(SDL_PushEvent(&a.event), 1) << SDL_GetError();
            } else if (a.kind == Action::FRAME) {
                pumps = slices.next(sys_time(), from, to);
            } else if (pumps) {
                for (int n = 0; n < 1000; ++n) {
                    const InputEvent* const e = pump_messages(from, to);
                    if (e == nullptr) {
                        break;
                    }
                    got.push_back(*e);
                    (void)console.input_key(*e);
                }
            }
        }
        return got;
    }

    std::vector<Action> actions_;
    host::ScopedEventSource sdl_events_{nullptr};
};

} // namespace

TEST_F(SdlTyping, EveryKeyOfAFastBurstReachesTheConsoleAtTheTimeItWasQueued)
{
    const std::string text = "V_ModeList CVarList R_*";
    const FramePace paces[] = {
        {"70 frames a second", {14286}, 5000},
        {"fast frames", {700}, 300},
        {"frames faster than the clock's milliseconds", {130, 170, 90}, 60},
        {"late frames on a busy machine", {120000}, 90000},
        {"fast and late by turns", {1000, 47000, 2500, 95000, 3300}, 30000},
    };
    for (const FramePace& pace : paces) {
        for (const int64_t key_pace : {25000, 30000, 80000}) {
            SCOPED_TRACE(std::string(pace.name) + ", a key every " + std::to_string(key_pace / 1000) + " ms");
            actions_.clear();
            SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
            pump_reset();
            FakeScreen screen;
            ConsCmd commands;
            Console console;
            ASSERT_EQ(console.init(&screen, &commands), 1);
            ASSERT_EQ(console.show(1), 1);
            // Keys fall between the clock's milliseconds and the slices' bounds.
            const int64_t start = 200370;
            const std::vector<int64_t> queued = type(text, start, key_pace);
            frames(pace, start + static_cast<int64_t>(text.size() + 4) * key_pace + 300000);

            const std::vector<InputEvent> got = run(console);
            console.release_print();
            EXPECT_STREQ(console.input_line(), (">" + text).c_str());
            if (got.size() != queued.size()) {
                ADD_FAILURE() << got.size() << " of " << queued.size() << " key downs and ups (shift included) arrived";
                continue;
            }
            // Each event comes with the millisecond it was queued in, and so
            // in the slice that holds that moment.
            int misplaced = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                const double queued_at = std::floor(static_cast<double>(queued[i]) / 1000.0) * 0.001;
                if (std::fabs(got[i].time - queued_at) > 1e-9 && misplaced++ == 0) {
                    ADD_FAILURE() << "event " << i << " at " << got[i].time << " s, queued at " << queued_at << " s";
                }
            }
            EXPECT_EQ(misplaced, 0);
        }
    }
}

// On the real clocks: events held in SDL's queue for a while, as on a busy
// machine, carry the host timer's millisecond of their queueing, never
// decreasing in queue order.
TEST(SdlEventStamps, AreTheHostTimersMillisecondOfQueueingInQueueOrder)
{
    bool failed = false;
    ASSERT_TRUE(host::window_open("stamps", 320, 240, failed)) << SDL_GetError();
    host::Message m;
    while (host::event_source().next(m)) {
    }
    struct Queued {
        uint32_t before;
        uint32_t after;
    };
    std::vector<Queued> queued;
    std::vector<uint32_t> stamps;
    for (int round = 0; round < 150; ++round) {
        for (int i = 0; i <= round % 4; ++i) {
            SDL_Event e = key_event(i % 2 == 0 ? SDL_KEYDOWN : SDL_KEYUP, SDL_SCANCODE_A, false);
            const uint32_t before = host::time_get_time();
            ASSERT_EQ(SDL_PushEvent(&e), 1);
            queued.push_back({before, host::time_get_time()});
            // Held 0.1 to 1.3 ms before the next is queued or the queue read.
            int64_t t0 = 0;
            ASSERT_TRUE(host::clock().counter(t0));
            int64_t frequency = 1;
            ASSERT_TRUE(host::clock().frequency(frequency));
            const int64_t until = t0 + frequency * (100 + (round * 7 + i * 3) % 13 * 100) / 1000000;
            for (int spin = 0; spin < 10000000; ++spin) {
                int64_t now = 0;
                if (!host::clock().counter(now) || now >= until) {
                    break;
                }
            }
        }
        for (int n = 0; n < 10 && host::event_source().next(m); ++n) {
            stamps.push_back(m.time);
        }
    }
    host::window_close();
    ASSERT_EQ(stamps.size(), queued.size());
    int outside = 0;
    int decreasing = 0;
    for (size_t i = 0; i < stamps.size(); ++i) {
        outside += (stamps[i] < queued[i].before || stamps[i] > queued[i].after) ? 1 : 0;
        decreasing += (i > 0 && stamps[i] < stamps[i - 1]) ? 1 : 0;
    }
    EXPECT_EQ(outside, 0) << "of " << stamps.size() << " events";
    EXPECT_EQ(decreasing, 0);
}
