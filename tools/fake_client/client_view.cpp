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
    const auto keep = [](auto& into_part, const auto& part) {
        if (part) {
            into_part = part;
        }
    };
    keep(into.lamp.intensity, r.lamp.intensity);
    keep(into.lamp.colour, r.lamp.colour);
    keep(into.lamp.effect, r.lamp.effect);
    keep(into.light.lamp, r.light.lamp);
    keep(into.light.intensity, r.light.intensity);
    keep(into.light.focus, r.light.focus);
    keep(into.light.maximum, r.light.maximum);
    keep(into.flare.intensity, r.flare.intensity);
    keep(into.flare.shape, r.flare.shape);
    keep(into.flare.colour, r.flare.colour);
    keep(into.flare.lamp, r.flare.lamp);
    keep(into.mesh.name, r.mesh.name);
    keep(into.mesh.frame, r.mesh.frame);
    keep(into.mesh.colour, r.mesh.colour);
    keep(into.mesh.light, r.mesh.light);
    keep(into.particle.count, r.particle.count);
    keep(into.particle.flags, r.particle.flags);
    keep(into.particle.size, r.particle.size);
    keep(into.particle.spawn, r.particle.spawn);
    keep(into.particle.colour, r.particle.colour);
    keep(into.particle.timing, r.particle.timing);
    keep(into.sound.name, r.sound.name);
    keep(into.sound.pitch, r.sound.pitch);
    keep(into.sound.distance, r.sound.distance);
    keep(into.sound.level, r.sound.level);
    keep(into.icon.rect, r.icon.rect);
    keep(into.icon.name, r.icon.name);
    keep(into.icon.clip, r.icon.clip);
    if (r.create()) {
        into.sprite = r.sprite;
        into.sound.mode = r.sound.mode;
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
    names.clear();
    particle_blocks.clear();
    latest_stamp = -1;
}

bool ClientView::resolve(int object_class, const CacheRef& ref, std::string& text)
{
    std::map<uint32_t, std::string>& cache = names[object_class];
    if (ref.data) {
        cache[ref.index] = ref.text;
    }
    const auto found = cache.find(ref.index);
    if (found == cache.end()) {
        return false;
    }
    text = found->second;
    return true;
}

void ClientView::apply_class_parts(ObjectView& v, const UpdateRecord& r, int32_t stamp)
{
    const CacheRef* ref = nullptr;
    if (r.object_class == CLASS_MESH && r.mesh.name) {
        ref = &*r.mesh.name;
    } else if (r.object_class == CLASS_SPRITE && r.create()) {
        ref = &r.sprite;
    } else if (r.object_class == CLASS_SOUND && r.sound.name) {
        ref = &*r.sound.name;
    } else if (r.object_class == CLASS_ICON && r.icon.name) {
        ref = &*r.icon.name;
    }
    if (ref != nullptr && !resolve(r.object_class, *ref, v.name)) {
        errors.push_back("update " + std::to_string(stamp) + ": name block " + std::to_string(ref->index) +
                         " of class " + std::to_string(r.object_class) + " is not known");
    }
    if (r.object_class != CLASS_PARTICLE || !r.particle_block) {
        return;
    }
    const CacheRef& b = *r.particle_block;
    if (b.data) {
        particle_blocks[b.index] = b.block;
    }
    const auto found = particle_blocks.find(b.index);
    ParticleParts parts;
    if (found == particle_blocks.end() || !decode_particle_block(found->second, parts)) {
        errors.push_back("update " + std::to_string(stamp) + ": particle block " + std::to_string(b.index) +
                         " is not known");
        return;
    }
    v.state.particle = parts;
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
            apply_class_parts(v, r, m.stamp);
            ++v.creates;
            continue;
        }
        if (found == objects.end()) {
            errors.push_back("update " + std::to_string(m.stamp) + ": object 0x" + std::to_string(r.id) +
                             " changed before it was created");
            continue;
        }
        merge(found->second.state, r);
        apply_class_parts(found->second, r, m.stamp);
        ++found->second.updates;
    }
}

} // namespace fake_client
