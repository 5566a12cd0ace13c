#include "gl/ws_mouse.h"

#include "core/config_variable.h"
#include "platform/mouse.h"

#include <cmath>

namespace {

constexpr uint32_t MOUSE_VARIABLE_FLAGS = 0x100;

ConfigVariable* filter_variable = nullptr;
MouseSmoothing smoothing;

float filter_value()
{
    if (filter_variable == nullptr) {
        return 0.0f;
    }
    switch (filter_variable->type()) {
    case CVTYPE_FLOAT:
        return filter_variable->as_float();
    case CVTYPE_BOOL:
        return filter_variable->as_bool() ? 1.0f : 0.0f;
    default:
        return static_cast<float>(filter_variable->int_value());
    }
}

void smooth(int& dx, int& dy, double dt) { smoothing.apply(dx, dy, dt, filter_value()); }

// Truncated toward zero; the blend of two screen offsets stays between them.
int truncate(double v) { return static_cast<int>(v); }

} // namespace

void MouseSmoothing::apply(int& dx, int& dy, double dt, float filter)
{
    if (filter > 0.0f) {
        const double w = std::exp(-dt * 20.0 / static_cast<double>(filter));
        dx = truncate((1.0 - w) * dx + w * last_x);
        dy = truncate((1.0 - w) * dy + w * last_y);
    }
    last_x = dx;
    last_y = dy;
}

int gl_mouse_init()
{
    gl_mouse_done();
    if (cvar_list == nullptr) {
        return 0;
    }
    filter_variable = cvar_list->link(CVTYPE_FLOAT, MOUSE_VARIABLE_FLAGS, "Mouse_Filter", "1.0", 0);
    if (filter_variable == nullptr) {
        return 0;
    }
    smoothing = MouseSmoothing{};
    mouse_set_motion_filter(smooth);
    return 1;
}

void gl_mouse_done()
{
    mouse_set_motion_filter(nullptr);
    if (filter_variable != nullptr && cvar_list != nullptr) {
        cvar_list->release(filter_variable);
    }
    filter_variable = nullptr;
}
