#include "tools/fake_client/client_view.h"

#include <cstring>

namespace fake_client {

namespace {

void merge(UpdateRecord& into, const UpdateRecord& r)
{
    if (r.create()) {
        into = UpdateRecord{};
    }
    into.id = r.id;
    into.object_class = r.object_class;
    into.index = r.index;
    into.count = r.count;
    into.angle_bits = r.angle_bits;
    into.mask |= r.mask;
    for (int k = 0; k < 3; ++k) {
        if ((r.mask & (0x1u << k)) != 0) {
            into.position_code[k] = r.position_code[k];
            into.position[k] = r.position[k];
        }
        if ((r.mask & (0x8u << k)) != 0) {
            into.carrier_code[k] = r.carrier_code[k];
            into.carrier[k] = r.carrier[k];
        }
        if ((r.mask & (0x80u << k)) != 0) {
            into.own_code[k] = r.own_code[k];
            into.own[k] = r.own[k];
        }
        if ((r.mask & 0x40) != 0) {
            into.offset_code[k] = r.offset_code[k];
            into.offset[k] = r.offset[k];
        }
    }
    if (r.filter_present) {
        into.filter_present = true;
        std::memcpy(into.filter, r.filter, sizeof into.filter);
    }
    if (r.zoom_present) {
        into.zoom_present = true;
        into.zoom[0] = r.zoom[0];
        into.zoom[1] = r.zoom[1];
    }
}

} // namespace

void ClientView::clear()
{
    objects.clear();
    latest_stamp = -1;
}

void ClientView::apply(const UpdateMessage& m)
{
    if (!m.error.empty()) {
        errors.push_back("update " + std::to_string(m.stamp) + ": " + m.error);
        return;
    }
    if (m.stamp <= latest_stamp) {
        stamps_increase = false;
    }
    if (m.stamp > latest_stamp) {
        latest_stamp = m.stamp;
    }
    for (const UpdateRecord& r : m.records) {
        const auto found = objects.find(r.id);
        if (r.leave) {
            if (found != objects.end()) {
                objects.erase(found);
            }
            continue;
        }
        if (r.create()) {
            ObjectView& v = objects[r.id];
            merge(v.state, r);
            ++v.creates;
            continue;
        }
        if (found == objects.end()) {
            errors.push_back("update " + std::to_string(m.stamp) + ": object 0x" + std::to_string(r.id) +
                             " changed before it was created");
            continue;
        }
        merge(found->second.state, r);
        ++found->second.updates;
    }
}

} // namespace fake_client
