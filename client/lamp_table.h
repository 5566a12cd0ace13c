#pragma once
// Object classes 1 (map lamps) and 2 (dynamic lamps): a lamp record a slot,
// whose intensity, colour and focus give the colour ramp that lights the
// map, the dynamic lights and the lens flares. A directly addressed table
// (map lamps) makes every record at create and keeps them; a hashed one
// (dynamic lamps) makes a record at each link and deletes it at unlink.
#include "client/cobj_manager.h"
#include "world/light_source.h"

#include <memory>

class ScreenProjection;

// A class whose records point at lamps: told before a lamp record goes, so
// that none of its records keeps pointing at it.
class LampTable;

class LampUser {
public:
    virtual void forget_lamp(const LampData* lamp) = 0;

protected:
    ~LampUser() = default;
    // Registers with both tables, so that either tells this before a lamp goes.
    void use_lamps(LampTable* map_lamps, LampTable* dynamic_lamps);
    void leave_lamps();
    // The lamp a lamp reference names, from the table of its class; null when
    // that table does not hold it.
    LampData* referenced_lamp(uint32_t id);

private:
    LampTable* map_lamps_ = nullptr;
    LampTable* dynamic_lamps_ = nullptr;
};

constexpr int LAMP_USERS_MAX = 2;

class LampTable final : public CObjManager {
public:
    LampTable() = default;
    ~LampTable() override { destroy(); }

    // 1, or 0 when memory runs out.
    int create(int capacity, int hashed);
    // A directly addressed table over records that another owns (the
    // world's map lamps), count of them from `records`; 1 or 0.
    int create_over(LampData* records, int count);
    void destroy();
    // Binds the renderer and brings every lamp's colour to its pixel layout.
    void start(ScreenProjection* renderer);
    void stop();

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

    // The lamp record of the object, or null when the table does not hold it.
    LampData* find_lamp(uint32_t id);
    LampData* lamp(int index) { return lamps_[index]; }
    ScreenProjection* renderer() const { return sp_; }

    void add_user(LampUser* user);
    void remove_user(LampUser* user);

private:
    void forget(const LampData* lamp);

    std::unique_ptr<LampData*[]> lamps_;
    bool owned_ = true; // the table deletes its records
    ScreenProjection* sp_ = nullptr;
    LampUser* users_[LAMP_USERS_MAX] = {};
};
