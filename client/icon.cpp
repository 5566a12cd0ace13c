#include "client/icon.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "renderer/screen_manager.h"

int Icon::create(int objects, int pictures)
{
    destroy();
    if (table_.create(pictures) == 0 || create_records(nullptr, objects, 1) == 0 ||
        names_.create(0, ICON_NAME_BLOCKS, ICON_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void Icon::destroy()
{
    if (screen_ != nullptr) {
        stop();
    }
    names_.clear();
    destroy_records();
    table_.destroy();
}

void Icon::start(ScreenManager* screen)
{
    K_ASSERT(!screen_);
    K_ASSERT(screen);
    screen_ = screen;
    for (int i = first_used(); i >= 0; i = common(i).next) {
        if (record(i).placed) {
            handle(i).show(screen_);
        }
    }
}

void Icon::stop()
{
    K_ASSERT(screen_);
    table_.release_all();
    for (int i = first_used(); i >= 0; i = common(i).next) {
        handle(i).hide(screen_);
    }
    screen_ = nullptr;
}

int Icon::link(int index)
{
    IconObject& icon = record(index);
    icon.handle = IconHandle{};
    icon.handle.extent = ICON_SCREEN_WIDTH;
    icon.placed = false;
    return 1;
}

int Icon::unlink(int index, int)
{
    // An icon that never showed (no screen manager, or a place off the
    // screen) has nothing to take off it.
    if (screen_ != nullptr) {
        handle(index).hide(screen_);
    }
    return 1;
}

int Icon::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    IconObject& icon = record(index);
    IconHandle& h = icon.handle;
    if ((mask & UPD_CREATE) != 0) {
        if (!icon.placed) {
            h.x = static_cast<int32_t>(stream.read_bits(16) & 0xFFFFu) - ICON_X_BIAS;
            h.y = static_cast<int32_t>(stream.read_bits(16) & 0xFFFFu) - ICON_Y_BIAS;
            h.width = static_cast<int32_t>(stream.read_bits(16) & 0xFFFFu) - ICON_X_BIAS;
            h.height = static_cast<int32_t>(stream.read_bits(16) & 0xFFFFu) - ICON_Y_BIAS;
            icon.placed = true;
            if (screen_ != nullptr) {
                h.show(screen_);
            }
        } else {
            print_string(P_DEBUG2, "Icon: Got duplicate create message");
            (void)stream.skip_bits(64);
        }
    }
    if (read_present(stream)) {
        char name[ICON_NAME_SIZE];
        if (names_.read(&stream, name, 6, 0) != 0) {
            return 0;
        }
        // The name becomes a path under "pictures".
        IconPicture* const picture = is_plain_name(name) ? table_.get(name, 1) : nullptr;
        if (picture == nullptr) {
            return 0;
        }
        h.owner = picture;
        if (screen_ != nullptr) {
            h.set_value(screen_);
        }
    }
    if (read_present(stream)) {
        h.extent = static_cast<int32_t>(stream.read_bits(16) & 0xFFFFu) - ICON_X_BIAS;
        if (screen_ != nullptr && h.id >= 0) {
            screen_->set_icon_extent(h.id, h.extent);
        }
    }
    return 1;
}
