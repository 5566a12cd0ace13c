#include "world/view/dynamic_light.h"

#include "core/kassert.h"
#include "renderer/screen_projection.h"

#include <new>

int DynamicLight::create(int32_t count)
{
    destroy();
    if (count < 0) {
        return 0;
    }
    lamps_ = new (std::nothrow) LampData[count > 0 ? count : 1];
    if (lamps_ == nullptr) {
        return 0;
    }
    count_ = count;
    if (projection_ != nullptr) {
        for (int32_t i = 0; i < count_; ++i) {
            lamps_[i].map_colour(projection_->rgb_layout);
        }
    }
    return 1;
}

void DynamicLight::destroy()
{
    delete[] lamps_;
    lamps_ = nullptr;
    count_ = 0;
}

void DynamicLight::start(ScreenProjection* screen)
{
    K_ASSERT(projection_ == nullptr);
    projection_ = screen;
    for (int32_t i = 0; i < count_; ++i) {
        lamps_[i].map_colour(screen->rgb_layout);
    }
}

void DynamicLight::stop()
{
    K_ASSERT(projection_ != nullptr);
    projection_ = nullptr;
}
