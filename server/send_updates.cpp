#include "core/config_variable.h"
#include "core/kassert.h"
#include "server/server.h"
#include "world/entity_link.h"
#include "world/shared_map.h"

#include <algorithm>

namespace {

constexpr double UPDATE_INTERVAL_MIN = 1.0 / 140.0;
constexpr double UPDATE_INTERVAL_MAX = 0.1;

} // namespace

void Server::admit_objects(int c, const Vector& camera)
{
    map_lamps.audience_pass(c);
    dynamic_lamps.audience_pass(c);
    particles.audience_pass(c);
    cameras.audience_pass(c);
    icons.audience_pass(c);
    FilteredObjectManager* const linked[] = {&dynamic_lights, &lens_flares, &mesh_objects, &sprites, &bsp_objects};
    if (S_PVS->is_true()) {
        for (FilteredObjectManager* m : linked) {
            m->clear_marks();
        }
        K_ASSERT(map);
        const Cell* const leaf = find_leaf(*map, camera);
        for_each_visible_entity(*map, leaf, ENTITY_TYPE_SERVER_OBJECT, static_cast<uint32_t>(c));
        sound_sources.admit_audible(c, camera);
    } else {
        for (FilteredObjectManager* m : linked) {
            m->audience_pass(c);
        }
        sound_sources.audience_pass(c);
    }
}

void Server::send_client_updates()
{
    mirror.update_carrier_position();
    for (int c = 0, seen = 0; c < SERVER_MAXCLIENTS && seen < clients; ++c) {
        ServerClient& sc = client[c];
        if (sc.state == SCSTATE_FREE) {
            continue;
        }
        ++seen;
        if (sc.state != SCSTATE_SPAWNED) {
            continue;
        }
        K_ASSERT(sc.socket);
        Vector camera{0.0f, 0.0f, 0.0f};
        mirror.get_position(sc.camera_id, camera);
        admit_objects(c, camera);
        const bool due = !(sc.next_update_time > time_world);
        mirror.write_client_update(c, sc.input_stamp, sc.socket, &sc.objects, due);
        const double ratio = static_cast<double>(sc.rate) / sc.cps;
        if (ratio < 0.9 || ratio > 1.0) {
            double& interval = sc.update_interval;
            interval *= ratio < 0.98 ? 0.98 : ratio > 1.05 ? 1.05 : ratio;
            interval = std::clamp(interval, UPDATE_INTERVAL_MIN, UPDATE_INTERVAL_MAX);
        }
        if (due) {
            sc.next_update_time += sc.update_interval;
            if (sc.next_update_time < time_world) {
                sc.next_update_time = time_world;
            }
        }
    }
    mirror.purge_destroyed_objects();
}
