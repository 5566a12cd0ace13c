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

using MouseHook = void (*)(const host::Message& message);
// mouse_message, or a hook that does nothing without a mouse.
MouseHook mouse_hook();

// For tests and the client: the mouse (null without one) and its state.
Mouse* mouse_device();
int mouse_capture_state();
void mouse_centre(int& x, int& y);
