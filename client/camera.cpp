#include "client/camera.h"

#include "client/entity_fields.h"
#include "client/entity_manager.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "net/net_stream_in.h"

#include <bit>

int Camera::create(int n)
{
    K_ASSERT(n == 1);
    return CObjManager::create(n, 1);
}

uint32_t Camera::tint() const { return std::bit_cast<uint32_t>(view.param); }

int Camera::link(int i)
{
    K_ASSERT(i == 0);
    view.reset();
    view.set_param(std::bit_cast<float>(uint32_t{0}));
    view.set_extents(0.5f, 0.375f);
    return 1;
}

int Camera::unlink(int, int) { return 1; }

int Camera::net_update(int i, uint32_t mask, NetStreamIn& stream)
{
    K_ASSERT(i == 0);
    if ((mask & UPD_EXTENDED) != 0) {
        if (read_present(stream)) {
            // The projection reads the word's bits.
            view.set_param(std::bit_cast<float>(read_colour6(stream, 4)));
        }
        if (read_present(stream)) {
            const float x = read_fraction(stream, 10, 256.0f);
            view.set_extents(x, read_fraction(stream, 10, 256.0f));
        }
    }
    if ((mask & ENTITY_PLACEMENT_BITS) != 0) {
        view.set_from_placement(common(i).pose);
    }
    return 1;
}
