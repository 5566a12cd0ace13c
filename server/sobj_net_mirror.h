#pragma once
// The server's network image of its objects: the manager of each class, the
// current stamp that stamps every change, the carrier update of bound
// objects, the per-client update message and the purge of destroyed objects.
#include "server/object_id.h"
#include "server/sobj_manager.h"

#include <cstdint>

class NetSocket;
class ObjectList;
class PhysicsServer;
struct ActiveEntry;

// Ticks an object that left a client's potentially visible set stays with it.
constexpr int32_t SOBJ_LEAVE_TICKS = 70;

class SObjNetMirror {
public:
    SObjNetMirror() = default;
    virtual ~SObjNetMirror();
    SObjNetMirror(const SObjNetMirror&) = delete;
    SObjNetMirror& operator=(const SObjNetMirror&) = delete;

    void reset();
    void set_physics(PhysicsServer* p) { physics = p; }
    void set_manager(int object_class, SObjManager* m);
    void set_current_stamp(int32_t tick);

    int get_classid(int32_t id) const;
    SObjCommon* get_common(int32_t id) const;
    // The id with its class, or -1.
    int32_t create(int object_class, int32_t audience, bool transient);
    int32_t id_at(int object_class, int32_t index) const;
    void destroy(int32_t id);
    int set_audience(int32_t id, int32_t audience);
    int set_position(int32_t id, const Vector& v);
    int set_angles(int32_t id, float a, float b, float c);
    int bind(int32_t id, int32_t entity);
    int unbind(int32_t id);
    int reset_interpolation(int32_t id);
    int get_position(int32_t id, Vector& out) const;
    int set_special(int32_t id, int property, SObjArgs args);
    // The client knows no cached block of any class.
    void remove_client(int client);

    void update_carrier_position();
    // 1 when the message went out or was not due, 0 on failure.
    int write_client_update(int client, int32_t acked, NetSocket* socket, ObjectList* list, bool due);
    void purge_destroyed_objects();

    // The stamp of a change made now: above every stamp a message already
    // carried, so that a change made after this stamp's updates went out
    // (a console or client command between ticks) is not taken as acknowledged.
    int32_t change_stamp() const { return current_stamp == written_stamp ? current_stamp + 1 : current_stamp; }

    SObjManager* manager[OBJID_CLASSMAX] = {};
    PhysicsServer* physics = nullptr;
    int32_t current_stamp = -1;
    int32_t written_stamp = -1; // the stamp of the newest update message

private:
    SObjManager* manager_of(int32_t id) const;
};
