#pragma once
// The client's manager of lamp records: one LampData a lamp, bound to the
// screen projection while a renderer runs so that lamp colours follow the
// screen's pixel layout. The world keeps one for the map's lamps.
#include "world/light_source.h"

#include <cstdint>

class ScreenProjection;

class DynamicLight {
public:
    DynamicLight() = default;
    ~DynamicLight() { destroy(); }
    DynamicLight(const DynamicLight&) = delete;
    DynamicLight& operator=(const DynamicLight&) = delete;

    // Drops the old records and makes count fresh ones; 1, or 0 when out of
    // memory or the count is negative.
    int create(int32_t count);
    void destroy();
    // Binds the projection (none may be bound) and converts every lamp's colour.
    void start(ScreenProjection* screen);
    // Unbinds it (one must be bound).
    void stop();

    int32_t count() const { return count_; }
    LampData* lamp(int32_t i) { return &lamps_[i]; }
    const ScreenProjection* projection() const { return projection_; }

private:
    LampData* lamps_ = nullptr;
    int32_t count_ = 0;
    ScreenProjection* projection_ = nullptr;
};
