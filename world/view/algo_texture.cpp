#include "world/view/algo_texture.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "renderer/texture_levels.h"

#include <new>

namespace {

constexpr uint32_t RENDER_VARIABLE = 0x100;

int32_t scroll_offset(int32_t speed, int32_t ticks)
{
    return static_cast<int32_t>(static_cast<uint32_t>(wrap_mul(speed, ticks)) & SCROLL_MASK);
}

} // namespace

void AlgoTexture::release()
{
    delete warped;
    warped = nullptr;
    release_variable(enabled_);
}

int AlgoTexture::init(TextureAnim* src, float su, float sv, uint32_t mode, float p1, float p2, float p3, float p4)
{
    release();
    K_ASSERT(cvar_list);
    enabled_ = cvar_list->link(CVTYPE_BOOL, RENDER_VARIABLE, "R_AlgoTextures", "True", 0);
    if (enabled_ == nullptr) {
        return 0;
    }
    K_ASSERT(src && src->slot);
    source = src;
    speed_u = float_to_int_round(static_cast<double>(su) * SCROLL_PER_TEXEL_SECOND);
    speed_v = float_to_int_round(static_cast<double>(sv) * SCROLL_PER_TEXEL_SECOND);
    scroll_u = 0;
    scroll_v = 0;
    last_ticks = -1;
    result = nullptr;
    if (mode == WARP_MODE_NONE) {
        return 1;
    }
    const Texture* const tx = source->slot->get_frame(*source, 0);
    if (tx == nullptr) {
        print_format(P_ERROR, "AlgoTexture: No texture for '%s:%s'", source->slot->resource, source->slot->name);
        return 0;
    }
    warped = new (std::nothrow) WarpTexture;
    if (warped == nullptr || texture_create(*warped, tx->usize, tx->vsize, tx->flags) == 0) {
        delete warped;
        warped = nullptr;
        return 0;
    }
    warped->set_params(mode, p1, p2, p3, p4);
    return 1;
}

Texture* AlgoTexture::update(int32_t ticks)
{
    // Fetched on every call, even within a tick: the heap may have dropped
    // the source since the last one, and its palette may have been converted.
    Texture* const frame = source->slot->get_frame(*source, ticks);
    if (ticks == last_ticks) {
        if (warped == nullptr || result != warped) {
            result = frame;
        } else if (frame != nullptr) {
            warped->take_palette(*frame);
        }
        return result;
    }
    last_ticks = ticks;
    scroll_u = scroll_offset(speed_u, ticks);
    scroll_v = scroll_offset(speed_v, ticks);
    if (frame != nullptr && warped != nullptr && enabled_ != nullptr && enabled_->is_true()) {
        result = warped->generate(frame, ticks);
    } else {
        result = frame;
    }
    return result;
}

bool AlgoTexture::resident() const
{
    if (result == nullptr) {
        return false;
    }
    if (warped != nullptr && result == warped) {
        return true; // its texels and colours are its own
    }
    const TextureResource& frame = source->slot->frames[source->last_frame];
    return frame.resident() && frame.texture == result;
}
