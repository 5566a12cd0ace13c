#include "client/lamp_table.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/kassert.h"
#include "net/net_stream_in.h"
#include "renderer/screen_projection.h"

#include <new>

int LampTable::create(int capacity, int hashed)
{
    destroy();
    if (CObjManager::create(capacity, hashed) == 0) {
        return 0;
    }
    const int n = capacity > 0 ? capacity : 1;
    lamps_.reset(new (std::nothrow) LampData*[static_cast<size_t>(n)]());
    if (lamps_ == nullptr) {
        destroy();
        return 0;
    }
    if (hashed == 0) {
        for (int i = 0; i < capacity; ++i) {
            lamps_[i] = new (std::nothrow) LampData;
            if (lamps_[i] == nullptr) {
                destroy();
                return 0;
            }
        }
    }
    return 1;
}

int LampTable::create_over(LampData* records, int count)
{
    destroy();
    if (CObjManager::create(count, 0) == 0) {
        return 0;
    }
    lamps_.reset(new (std::nothrow) LampData*[static_cast<size_t>(count > 0 ? count : 1)]());
    if (lamps_ == nullptr) {
        destroy();
        return 0;
    }
    owned_ = false;
    for (int i = 0; i < count; ++i) {
        lamps_[i] = &records[i];
    }
    return 1;
}

void LampTable::destroy()
{
    if (lamps_ != nullptr) {
        for (int i = 0; i < max_objects(); ++i) {
            if (lamps_[i] != nullptr) {
                forget(lamps_[i]);
                if (owned_) {
                    delete lamps_[i];
                }
            }
        }
    }
    lamps_.reset();
    owned_ = true;
    sp_ = nullptr;
    CObjManager::destroy();
}

void LampTable::start(ScreenProjection* renderer)
{
    K_ASSERT(!sp_);
    sp_ = renderer;
    for (int i = first_used(); i >= 0; i = common(i).next) {
        lamps_[i]->map_colour(sp_->rgb_layout);
    }
}

void LampTable::stop()
{
    K_ASSERT(sp_);
    sp_ = nullptr;
}

int LampTable::link(int index)
{
    if (hashed()) {
        K_ASSERT(!lamps_[index]);
        lamps_[index] = new (std::nothrow) LampData;
        if (lamps_[index] == nullptr) {
            return 0;
        }
    }
    LampData& lamp = *lamps_[index];
    lamp.set_intensity(1.0f);
    lamp.set_colour(0xFFFFFF);
    if (sp_ != nullptr) {
        lamp.map_colour(sp_->rgb_layout);
    }
    lamp.set_focus(0, 0.0f, 0.0f, 0.0f, 0.0f);
    return 1;
}

int LampTable::unlink(int index, int)
{
    K_ASSERT(lamps_[index]);
    if (hashed()) {
        forget(lamps_[index]);
        delete lamps_[index];
        lamps_[index] = nullptr;
    }
    return 1;
}

int LampTable::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    LampData& lamp = *lamps_[index];
    if (read_present(stream)) {
        lamp.set_intensity(read_fraction(stream, 6, 63.0f));
    }
    if ((mask & UPD_EXTENDED) == 0) {
        return 1;
    }
    if (read_present(stream)) {
        lamp.set_colour(read_colour6(stream, 3));
        if (sp_ != nullptr) {
            lamp.map_colour(sp_->rgb_layout);
        }
    }
    if (read_present(stream)) {
        const auto mode = static_cast<int32_t>(stream.read_bits(4));
        float focus[4];
        for (float& f : focus) {
            f = read_fraction(stream, 8, 32.0f);
        }
        lamp.set_focus(mode, focus[0], focus[1], focus[2], focus[3]);
    }
    return 1;
}

LampData* LampTable::find_lamp(uint32_t id)
{
    const int slot = find(id);
    return slot >= 0 ? lamps_[slot] : nullptr;
}

void LampTable::add_user(LampUser* user)
{
    LampUser** free_entry = nullptr;
    for (LampUser*& u : users_) {
        if (u == user) {
            return;
        }
        if (u == nullptr && free_entry == nullptr) {
            free_entry = &u;
        }
    }
    K_ASSERT(free_entry);
    *free_entry = user;
}

void LampTable::remove_user(LampUser* user)
{
    for (LampUser*& u : users_) {
        if (u == user) {
            u = nullptr;
        }
    }
}

void LampTable::forget(const LampData* lamp)
{
    for (LampUser* u : users_) {
        if (u != nullptr) {
            u->forget_lamp(lamp);
        }
    }
}

void LampUser::use_lamps(LampTable* map_lamps, LampTable* dynamic_lamps)
{
    K_ASSERT(map_lamps && dynamic_lamps);
    map_lamps_ = map_lamps;
    dynamic_lamps_ = dynamic_lamps;
    map_lamps_->add_user(this);
    dynamic_lamps_->add_user(this);
}

void LampUser::leave_lamps()
{
    if (map_lamps_ != nullptr) {
        map_lamps_->remove_user(this);
        dynamic_lamps_->remove_user(this);
    }
    map_lamps_ = nullptr;
    dynamic_lamps_ = nullptr;
}

LampData* LampUser::referenced_lamp(uint32_t id)
{
    const uint32_t cls = (id & OBJID_CLASSMASK) >> OBJID_CLASSSHIFT;
    return (cls == 1 ? map_lamps_ : dynamic_lamps_)->find_lamp(id);
}
