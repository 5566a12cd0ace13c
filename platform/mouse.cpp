#include "platform/mouse.h"

#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "host/host_display.h"
#include "host/host_pointer.h"
#include "host/host_window.h"
#include "platform/win32_sys.h"

#include <cfloat>
#include <new>

namespace {

constexpr uint32_t MOUSE_VARIABLE_FLAGS = 0x100;
constexpr int DEFAULT_CENTRE_X = 320;
constexpr int DEFAULT_CENTRE_Y = 200;
constexpr int WHEEL_LIMIT = 1 << 30;

Mouse* the_mouse = nullptr;
InputDevice* device_slot = nullptr; // the platform object's device list
int capture_state = MOUSE_FREE;
int centre_x = DEFAULT_CENTRE_X;
int centre_y = DEFAULT_CENTRE_Y;
uint32_t button_bits = 0;
int wheel = 0;

void ignore_mouse_message(const host::Message&) {}

MouseHook hook = ignore_mouse_message;
MouseMotionFilter motion_filter = nullptr;

// A variable's value as a number, whatever its type.
double number_of(const ConfigVariable* v)
{
    switch (v->type()) {
    case CVTYPE_FLOAT: return v->as_float();
    case CVTYPE_BOOL: return v->as_bool() ? 1.0 : 0.0;
    default: return v->int_value();
    }
}

float to_float(double v)
{
    if (!(v >= -FLT_MAX)) {
        return v != v ? 0.0f : -FLT_MAX;
    }
    return v > FLT_MAX ? FLT_MAX : static_cast<float>(v);
}

void hide_at_centre()
{
    button_bits = 0;
    wheel = 0;
    host::pointer().set_position(centre_x, centre_y);
    if (capture_state != MOUSE_CAPTURED) {
        const int counter = host::pointer().show(false);
        print_format(P_DEBUG, "Decremented cursor counter %d", counter);
    }
    capture_state = MOUSE_CAPTURED;
}

void release_cursor()
{
    host::pointer().clip(nullptr);
    if (capture_state == MOUSE_CAPTURED) {
        const int counter = host::pointer().show(true);
        print_format(P_DEBUG, "Incremented cursor counter %d", counter);
        capture_state = MOUSE_CLIPPED;
    }
}

bool usable_mouse() { return the_mouse != nullptr && the_mouse->valid == 1; }

} // namespace

Mouse::Mouse()
{
    name = "Mouse";
    valid = 0;
    if (cvar_list == nullptr) {
        return;
    }
    x_sensitivity_ = cvar_list->link(CVTYPE_FLOAT, MOUSE_VARIABLE_FLAGS, "Mouse_XSensitivity", "1.0", 0);
    y_sensitivity_ = cvar_list->link(CVTYPE_FLOAT, MOUSE_VARIABLE_FLAGS, "Mouse_YSensitivity", "1.0", 0);
    z_sensitivity_ = cvar_list->link(CVTYPE_FLOAT, MOUSE_VARIABLE_FLAGS, "Mouse_ZSensitivity", "1.0", 0);
    windowed_ = cvar_list->link(CVTYPE_BOOL, MOUSE_VARIABLE_FLAGS, "Mouse_Windowed", "0", 0);
    if (x_sensitivity_ != nullptr && y_sensitivity_ != nullptr && z_sensitivity_ != nullptr && windowed_ != nullptr) {
        valid = 1;
        capture_state = MOUSE_FREE;
    }
}

Mouse::~Mouse()
{
    if (valid == 1 && capture_state != MOUSE_FREE) {
        release_cursor();
    }
    capture_state = MOUSE_FREE;
    ConfigVariable* const variables[] = {x_sensitivity_, y_sensitivity_, z_sensitivity_, windowed_};
    for (ConfigVariable* v : variables) {
        if (v != nullptr && cvar_list != nullptr) {
            cvar_list->release(v);
        }
    }
}

bool Mouse::is_windowed_capture() const { return windowed_ != nullptr && windowed_->is_true(); }

void Mouse::read(InputDeviceState& state, double from, double to)
{
    state = InputDeviceState{};
    state.buttons = button_bits;
    const double dt = to - from;
    if (valid != 1 || !(dt > 0.0)) {
        return;
    }
    int dx = 0;
    int dy = 0;
    // A cursor the engine does not hold belongs to the desktop: no motion, never moved.
    if (capture_state == MOUSE_CAPTURED) {
        int x = 0;
        int y = 0;
        host::pointer().position(x, y);
        dx = x - centre_x;
        dy = y - centre_y;
        if (motion_filter != nullptr) {
            motion_filter(dx, dy, dt);
        }
    }
    state.x = to_float(dx * number_of(x_sensitivity_) / (dt * 256.0));
    state.y = to_float(dy * number_of(y_sensitivity_) / (dt * -256.0));
    state.z = to_float(wheel * number_of(z_sensitivity_) / (dt * 1000.0));
    wheel = 0;
    if (dx != 0 || dy != 0) {
        host::pointer().set_position(centre_x, centre_y);
    }
}

void mouse_set_motion_filter(MouseMotionFilter filter) { motion_filter = filter; }

int mouse_init()
{
    bool no_mouse = false;
    if (command_line != nullptr) {
        no_mouse = command_line->find_option("-no_mouse") != 0;
        command_line->end_search();
    }
    if (no_mouse) {
        hook = ignore_mouse_message;
        return 0;
    }
    hook = mouse_message;
    button_bits = 0;
    wheel = 0;
    centre_x = DEFAULT_CENTRE_X;
    centre_y = DEFAULT_CENTRE_Y;
    the_mouse = new (std::nothrow) Mouse;
    if (the_mouse == nullptr) {
        print_string(P_WARNING, "Mouse: Not enough memory, running without a mouse");
        hook = ignore_mouse_message;
        return 0;
    }
    device_slot = the_mouse;
    if (win32sys != nullptr) {
        win32sys->device_count = 1;
        win32sys->devices = &device_slot;
    }
    return 0;
}

void mouse_shutdown()
{
    if (win32sys != nullptr && win32sys->devices == &device_slot) {
        win32sys->device_count = 0;
        win32sys->devices = nullptr;
    }
    delete the_mouse;
    the_mouse = nullptr;
    device_slot = nullptr;
    hook = ignore_mouse_message;
}

void mouse_capture(uint32_t flags)
{
    if (!usable_mouse()) {
        return;
    }
    if ((flags & MOUSE_CAPTURE_WINDOWED) != 0) {
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        if (!the_mouse->is_windowed_capture() || !host::window_client_rect(x, y, w, h)) {
            // A cursor hidden by an earlier capture is shown again, not left hidden for good.
            release_cursor();
            capture_state = MOUSE_FREE;
            return;
        }
        centre_x = x + w / 2;
        centre_y = y + h / 2;
        const host::ClipRect clip{x, y, x + w, y + h};
        host::pointer().clip(&clip);
        if (capture_state == MOUSE_FREE) {
            capture_state = MOUSE_CLIPPED;
        }
    } else {
        int32_t w = 0;
        int32_t h = 0;
        centre_x = DEFAULT_CENTRE_X;
        centre_y = DEFAULT_CENTRE_Y;
        if (host::desktop_size(w, h) == host::DESKTOP_OK && w > 0 && h > 0) {
            centre_x = w / 2;
            centre_y = h / 2;
        }
        if (capture_state == MOUSE_FREE) {
            capture_state = MOUSE_CLIPPED;
        }
    }
    hide_at_centre();
}

void show_cursor()
{
    if (usable_mouse()) {
        release_cursor();
    }
}

void mouse_message(const host::Message& message)
{
    switch (message.type) {
    case host::WM_LBUTTONDOWN: button_bits |= MOUSE_BUTTON_LEFT; break;
    case host::WM_LBUTTONUP: button_bits &= ~MOUSE_BUTTON_LEFT; break;
    case host::WM_RBUTTONDOWN: button_bits |= MOUSE_BUTTON_RIGHT; break;
    case host::WM_RBUTTONUP: button_bits &= ~MOUSE_BUTTON_RIGHT; break;
    case host::WM_MBUTTONDOWN: button_bits |= MOUSE_BUTTON_MIDDLE; break;
    case host::WM_MBUTTONUP: button_bits &= ~MOUSE_BUTTON_MIDDLE; break;
    case host::WM_MOUSEWHEEL: {
        const int delta = static_cast<int16_t>(static_cast<uint16_t>(message.wparam >> 16));
        // Saturates instead of overflowing when the wheel spins for ages without a read.
        if ((delta > 0 && wheel < WHEEL_LIMIT) || (delta < 0 && wheel > -WHEEL_LIMIT)) {
            wheel += delta;
        }
        break;
    }
    default: break;
    }
}

MouseHook mouse_hook() { return hook; }

Mouse* mouse_device() { return the_mouse; }

int mouse_capture_state() { return capture_state; }

void mouse_centre(int& x, int& y)
{
    x = centre_x;
    y = centre_y;
}
