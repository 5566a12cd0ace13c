#pragma once
// Object class 10: the camera, the one view through which the client draws
// and listens. Its view outlives the object's removal.
#include "client/cobj_manager.h"
#include "core/view_frame.h"

class Camera final : public CObjManager {
public:
    Camera() = default;
    ~Camera() override { destroy(); }

    // n must be 1; 1, or 0 when memory runs out.
    int create(int n);
    void destroy() { CObjManager::destroy(); }

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

    // The colour filter word of the view: red, green, blue, amount in bytes 0-3.
    uint32_t tint() const;

    ViewFrame view;
};
