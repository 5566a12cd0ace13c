#pragma once
// ScreenManager of the OpenGL program: the video mode the renderer draws
// into and the plain-draw mode, a pixel-exact orthographic projection over
// the whole screen with y growing downwards, for the 2-D layer.
class KVideoMode;

class ScreenManager {
public:
    ScreenManager() = default;
    explicit ScreenManager(KVideoMode* mode) : v_mode(mode) {}

    // Pushes both matrices; finish_plaindraw pops them again.
    void begin_plaindraw();
    void finish_plaindraw();

    KVideoMode* v_mode = nullptr;
};
