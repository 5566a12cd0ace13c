#pragma once
// The mouse, read in relative mode: while the engine holds it, the cursor is
// hidden and kept at a centre, and each read returns the offset from the
// centre as a speed scaled by the Mouse_*Sensitivity variables, with the
// buttons and the wheel gathered from window messages.
#include "host/host_events.h"
#include "platform/input_device.h"

class ConfigVariable;

constexpr uint32_t MOUSE_BUTTON_LEFT = 1;
constexpr uint32_t MOUSE_BUTTON_RIGHT = 2;
constexpr uint32_t MOUSE_BUTTON_MIDDLE = 4;

// Capture states.
constexpr int MOUSE_FREE = 0;
constexpr int MOUSE_CLIPPED = 1;  // clipped, cursor visible
constexpr int MOUSE_CAPTURED = 2; // cursor hidden and held at the centre

constexpr uint32_t MOUSE_CAPTURE_WINDOWED = 1; // flag bit of mouse_capture

class Mouse final : public InputDevice {
public:
    Mouse();
    ~Mouse() override;
    Mouse(const Mouse&) = delete;
    Mouse& operator=(const Mouse&) = delete;

    // An empty or reversed time slice gives no motion; what moved stays for the next read.
    void read(InputDeviceState& state, double from, double to) override;
    // Mouse_Windowed: capture the mouse also in a window.
    bool is_windowed_capture() const;

private:
    ConfigVariable* x_sensitivity_ = nullptr;
    ConfigVariable* y_sensitivity_ = nullptr;
    ConfigVariable* z_sensitivity_ = nullptr;
    ConfigVariable* windowed_ = nullptr;
};

// 0; "-no_mouse" leaves the engine without a mouse.
int mouse_init();
void mouse_shutdown();
void mouse_capture(uint32_t flags);
// Releases the clip and shows the cursor again after a capture.
void show_cursor();
void mouse_message(const host::Message& message);

// A program's smoothing of the motion: receives the offset of the held cursor
// from the centre and the read's length in seconds, leaves the motion to report
// (the cursor goes back to the centre only when that is not 0, 0).
using MouseMotionFilter = void (*)(int& dx, int& dy, double dt);
// Null reports the motion as measured.
void mouse_set_motion_filter(MouseMotionFilter filter);

using MouseHook = void (*)(const host::Message& message);
// mouse_message, or a hook that does nothing without a mouse.
MouseHook mouse_hook();

// For tests and the client: the mouse (null without one) and its state.
Mouse* mouse_device();
int mouse_capture_state();
void mouse_centre(int& x, int& y);
