#pragma once
// The OpenGL program's mouse: the platform's mouse with its motion smoothed
// by Mouse_Filter, each read blended with the last one's motion by a weight
// that falls with the length of the read.

class ConfigVariable;

// The blend on its own: motion in whole pixels, kept between reads.
struct MouseSmoothing {
    int last_x = 0;
    int last_y = 0;

    // dx, dy: the offset measured; dt: seconds; filter: Mouse_Filter (0 or
    // less, or not a number: no smoothing). Leaves the motion to report.
    void apply(int& dx, int& dy, double dt, float filter);
};

// Links Mouse_Filter and smooths the mouse from now on; 1, or 0 (motion
// stays raw) when the variable can't be linked.
int gl_mouse_init();
// Raw motion again; releases the variable.
void gl_mouse_done();
