#pragma once
// The time slices the client's input step asks the pump for: from its clock's
// last tick to the last tick of 1/70 s before the frame's time.

class ClientSlices {
public:
    // The slice of a frame at `now` (engine seconds); false when no tick
    // passed since the last one, when the client does not pump.
    bool next(double now, double& from, double& to)
    {
        if (local_ < 0.0) {
            local_ = now;
        }
        from = local_;
        while (local_ + TICK < now) {
            local_ += TICK;
        }
        to = local_;
        return from != to;
    }

private:
    static constexpr double TICK = 1.0 / 70.0;
    double local_ = -1.0;
};
