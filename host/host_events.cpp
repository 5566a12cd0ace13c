#include "host/host_events.h"

#include "host/host_clock.h"
#include "host/host_keymap.h"
#include "host/host_pointer.h"
#include "host/host_window.h"

#include <SDL.h>

namespace host {
namespace {

// SDL stamps an event from its own millisecond clock as it queues it. That
// clock ticks over at other moments than the host timer, so a stamp converted
// from one to the other at polling time could come out a millisecond early:
// an event still queued behind one the pump keeps for the next slice could
// then lie before that slice and be dropped. Input events are stamped from
// the host timer instead, as SDL queues them; on the one thread that queues
// input, the stamps never decrease in queue order, and an event that arrives
// after the pump last looked has a stamp no earlier than that look.
int SDLCALL stamp_on_arrival(void*, SDL_Event* e)
{
    if (e->type >= SDL_KEYDOWN && e->type <= SDL_MOUSEWHEEL) {
        e->common.timestamp = time_get_time();
    }
    return 1;
}

uint32_t mouse_lparam(int x, int y)
{
    return (static_cast<uint32_t>(y) & 0xFFFFu) << 16 | (static_cast<uint32_t>(x) & 0xFFFFu);
}

bool button_message(const SDL_MouseButtonEvent& e, Message& m)
{
    const bool down = e.type == SDL_MOUSEBUTTONDOWN;
    switch (e.button) {
    case SDL_BUTTON_LEFT: m.type = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case SDL_BUTTON_RIGHT: m.type = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    case SDL_BUTTON_MIDDLE: m.type = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    default: return false;
    }
    m.wparam = 0;
    m.lparam = mouse_lparam(e.x, e.y);
    return true;
}

// Window events are handled here at once; input events become messages.
bool translate(const SDL_Event& e, Message& m)
{
    m = Message{};
    switch (e.type) {
    case SDL_QUIT:
        request_quit();
        return false;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            window_set_repaint();
        } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            request_quit();
        }
        return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const uint16_t mod = e.key.keysym.mod;
        return key_message(e.key.keysym.scancode, e.type == SDL_KEYDOWN, e.key.repeat != 0, (mod & KMOD_NUM) != 0,
                           (mod & KMOD_ALT) != 0, e.key.timestamp, m);
    }
    case SDL_MOUSEMOTION:
        pointer_motion(e.motion.xrel, e.motion.yrel);
        m.type = WM_MOUSEMOVE;
        m.lparam = mouse_lparam(e.motion.x, e.motion.y);
        m.time = e.motion.timestamp;
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        m.time = e.button.timestamp;
        return button_message(e.button, m);
    case SDL_MOUSEWHEEL: {
        int notches = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
            notches = -notches;
        }
        if (notches == 0 || notches > 1000 || notches < -1000) {
            return false;
        }
        m.type = WM_MOUSEWHEEL;
        m.wparam = wheel_wparam(notches * WHEEL_DELTA);
        m.time = e.wheel.timestamp;
        return true;
    }
    default:
        return false;
    }
}

class SdlEventSource final : public EventSource {
    // The next event SDL holds, reading the system's new ones only when SDL
    // holds none. SDL_PollEvent would end its poll cycle at a marker it
    // queues when it last read the system, reporting an empty queue while
    // events still wait behind the marker: the pump would end the slice
    // early and find them older than the next one.
    static bool take(SDL_Event& e)
    {
        if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
            return true;
        }
        SDL_PumpEvents();
        return SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;
    }

public:
    bool next(Message& message) override
    {
        if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
            return false;
        }
        SDL_Event e;
        while (take(e)) {
            if (translate(e, message)) {
                return true;
            }
        }
        return false;
    }

    int wait(Message& message) override
    {
        if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
            return -1;
        }
        for (;;) {
            SDL_Event e;
            if (SDL_WaitEvent(&e) == 0) {
                return -1;
            }
            if (translate(e, message)) {
                return 1;
            }
            if (e.type == SDL_QUIT ||
                (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE)) {
                return 0;
            }
        }
    }
};

SdlEventSource sdl_source;
EventSource* current = &sdl_source;

} // namespace

void stamp_input_on_arrival()
{
    // SDL forgets its watchers whenever its event loop stops; a watcher added
    // twice would be called twice.
    SDL_DelEventWatch(stamp_on_arrival, nullptr);
    SDL_AddEventWatch(stamp_on_arrival, nullptr);
}

EventSource& event_source() { return *current; }

EventSource* set_event_source(EventSource* source)
{
    EventSource* const previous = current == &sdl_source ? nullptr : current;
    current = source != nullptr ? source : &sdl_source;
    return previous;
}

bool QueueEventSource::next(Message& message)
{
    if (count_ == 0) {
        return false;
    }
    message = ring_[head_];
    head_ = (head_ + 1) % CAPACITY;
    --count_;
    return true;
}

int QueueEventSource::wait(Message& message) { return next(message) ? 1 : -1; }

bool QueueEventSource::push(const Message& message)
{
    if (count_ == CAPACITY) {
        return false;
    }
    ring_[(head_ + count_) % CAPACITY] = message;
    ++count_;
    return true;
}

bool QueueEventSource::push(uint32_t type, uint32_t wparam, uint32_t lparam, uint32_t time)
{
    Message m;
    m.type = type;
    m.wparam = wparam;
    m.lparam = lparam;
    m.time = time;
    return push(m);
}

} // namespace host
