#pragma once
// The mouse pointer as the platform layer drives it: a position in screen
// pixels that relative motion moves and the engine can put back, a show
// counter, and a clip to a rectangle. The SDL pointer never moves the desktop
// pointer: while the cursor is hidden, SDL's relative mode holds the pointer
// and its motion moves the position kept here.

namespace host {

struct ClipRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class Pointer {
public:
    virtual ~Pointer() = default;
    virtual void position(int& x, int& y) = 0;
    virtual void set_position(int x, int y) = 0;
    // Raises (show) or lowers the display counter; returns its new value. The
    // cursor is visible while the counter is not negative.
    virtual int show(bool visible) = 0;
    // Confines the pointer to the rectangle, or frees it (null).
    virtual void clip(const ClipRect* rect) = 0;
};

// The pointer in use: SDL's unless a test set another.
Pointer& pointer();
// Installs a pointer (null restores SDL's); returns the previous one.
Pointer* set_pointer(Pointer* p);

// Relative motion reported by the window's events.
void pointer_motion(int dx, int dy);

// A pointer a test moves; it counts what the engine did to it.
class FakePointer final : public Pointer {
public:
    void position(int& px, int& py) override
    {
        px = x;
        py = y;
    }
    void set_position(int px, int py) override
    {
        x = px;
        y = py;
        ++moves;
    }
    int show(bool visible) override
    {
        counter += visible ? 1 : -1;
        return counter;
    }
    void clip(const ClipRect* rect) override
    {
        clipped = rect != nullptr;
        if (rect != nullptr) {
            clip_rect = *rect;
        }
    }

    int x = 0;
    int y = 0;
    int moves = 0;
    int counter = 0;
    bool clipped = false;
    ClipRect clip_rect;
};

} // namespace host
