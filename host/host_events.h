#pragma once
// Window messages in the shape the platform layer reads: {type, wparam,
// lparam, time}. Keys carry the virtual-key code in wparam, the PC set-1 scan
// code in lparam bits 16-23, the extended flag in bit 24 and the previous key
// state in bit 30; the wheel delta (120 a notch) is the signed high word of
// wparam. Times are on the host's millisecond timer (time_get_time).
#include <cstdint>

namespace host {

constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP = 0x0105;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;

constexpr uint32_t KEY_EXTENDED = 1u << 24;
constexpr uint32_t KEY_PREVIOUS_DOWN = 1u << 30;
constexpr uint32_t KEY_RELEASING = 1u << 31;
constexpr int WHEEL_DELTA = 120;

struct Message {
    uint32_t type = 0;
    uint32_t wparam = 0;
    uint32_t lparam = 0;
    uint32_t time = 0; // milliseconds on the host timer
};

// lparam of a key message: repeat count 1, scan code, extended and state bits.
constexpr uint32_t key_lparam(uint32_t scan, bool extended, bool previous_down, bool releasing)
{
    return 1u | (scan & 0xFFu) << 16 | (extended ? KEY_EXTENDED : 0u) | (previous_down ? KEY_PREVIOUS_DOWN : 0u) |
           (releasing ? KEY_RELEASING : 0u);
}

constexpr uint32_t wheel_wparam(int delta) { return static_cast<uint32_t>(delta) << 16; }

class EventSource {
public:
    virtual ~EventSource() = default;
    // Takes the next message; false when none is waiting.
    virtual bool next(Message& message) = 0;
    // Waits for the next message: 1 a message, 0 the program is asked to quit, -1 failure.
    virtual int wait(Message& message) = 0;
};

// From now on SDL's input events carry host-timer milliseconds as their
// timestamps, taken as each is queued. Call once SDL's video has started.
void stamp_input_on_arrival();

// The source in use: the window's events through SDL unless a test set another.
EventSource& event_source();
// Installs a source (null restores SDL's); returns the previous one.
EventSource* set_event_source(EventSource* source);

// A source fed by a test; wait on an empty queue fails.
class QueueEventSource final : public EventSource {
public:
    static constexpr int CAPACITY = 256;

    bool next(Message& message) override;
    int wait(Message& message) override;

    // False when the queue is full.
    bool push(const Message& message);
    bool push(uint32_t type, uint32_t wparam, uint32_t lparam, uint32_t time);
    int size() const { return count_; }
    void clear() { head_ = count_ = 0; }

private:
    Message ring_[CAPACITY];
    int head_ = 0;
    int count_ = 0;
};

// Installs a source for the lifetime of the guard.
class ScopedEventSource {
public:
    explicit ScopedEventSource(EventSource* source) : previous_(set_event_source(source)) {}
    ~ScopedEventSource() { set_event_source(previous_); }
    ScopedEventSource(const ScopedEventSource&) = delete;
    ScopedEventSource& operator=(const ScopedEventSource&) = delete;

private:
    EventSource* previous_;
};

} // namespace host
