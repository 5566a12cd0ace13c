#pragma once
// The manager base of every object class: a fixed array of SObjCommon
// records with a list of the used ones, identifiers with reuse counts, the
// setters of the common fields with their change stamps, the common part bits
// of an update and the carrier update. Each class derives and adds its own
// records, parallel to `common`.
#include "core/matrix.h"
#include "server/sobj_common.h"

#include <cstdint>
#include <span>

class NetStreamOut;
class PhysicsServer;

// One argument of a property, in the property's order: an int, a double or a text.
struct SObjArg {
    int32_t i = 0;
    double d = 0.0;
    const char* s = nullptr;
};
using SObjArgs = std::span<const SObjArg>;

class SObjManager {
public:
    SObjManager() = default;
    // Frees the class's arrays (in the derived destructor), then the base's.
    virtual ~SObjManager();
    SObjManager(const SObjManager&) = delete;
    SObjManager& operator=(const SObjManager&) = delete;

    // Checks and stores one property, stamping what changes: 1, or 0 for an
    // id that is not valid, an unknown property or missing arguments.
    virtual int set_property(int32_t tick, uint32_t id, int property, SObjArgs args) = 0;
    // Adds the class's part bits to *mask for a client last updated at
    // last_tick (every non-default part with SOBJ_PART_CREATE); non-zero
    // forces a record even when the mask stays empty.
    virtual int class_part_bits(int32_t last_tick, int32_t index, uint32_t* mask) = 0;
    // Writes the parts the mask selects: 1, or 0 when a block-cache reference fails.
    virtual int write_class_parts(int client, int32_t tick, int32_t acked, int32_t index, uint32_t mask,
                                  NetStreamOut* msg) = 0;
    // Sets the class record to its defaults: non-zero, or 0 to refuse the creation.
    virtual int on_create(int32_t tick, int32_t index) = 0;
    virtual void on_release(int32_t index) = 0;
    // The client knows none of the class's cached blocks.
    virtual void reset_client(int client) = 0;
    // Places the class record's audience filter at the transform.
    virtual void relink(int32_t index, const Matrix& transform);

    // n records, all free: 1, or 0 when memory fails.
    int init(int32_t n);
    void done();

    // The stored id of a new object, or -1 when none is free or the class refuses.
    int32_t create(int32_t tick, int32_t audience, bool transient);
    // An object at an index fixed by the map: 1, or 0 when in use or refused.
    int create_at(int32_t index, int32_t audience);
    // The index of a valid id, else -1.
    int32_t lookup(uint32_t id) const;
    void release(uint32_t stored_id);

    int set_audience(uint32_t id, int32_t audience);
    int set_offset(int32_t tick, uint32_t id, const Vector& offset);
    int set_own_angles(int32_t tick, uint32_t id, float a, float b, float c);
    int bind(uint32_t id, int32_t entity);
    int unbind(uint32_t id);
    int reset_interpolation(int32_t tick, uint32_t id);
    int get_world_point(uint32_t id, Vector& out) const;
    // The transform R(carrier) at the position times R(own) at the offset.
    void object_transform(int32_t index, Matrix& out) const;

    int32_t physical_entity(int32_t index) const;
    int is_used(int32_t index) const;

    // Iteration over the used records; the record just returned may be released.
    int32_t first();
    int32_t next();

    void audience_pass(int client);
    void clear_marks();

    uint32_t common_part_bits(int32_t index, int32_t last_tick, uint32_t initial) const;
    // Copies the carrier's position and angles into a bound record: 1, or 0
    // when the physics server cannot tell them.
    int carrier_update(int32_t index, int32_t tick, const PhysicsServer* physics, bool camera);

    int32_t head = -1;
    int32_t iterator = -1;
    int32_t max_objects = 0;
    SObjCommon* common = nullptr;
};
