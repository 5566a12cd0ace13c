#include "client/entity_records.h"

#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/print.h"
#include "net/net_stream_in.h"
#include "world/entity_link.h"
#include "world/shared_map.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t ICON_X_BIAS = 19968;
constexpr int32_t ICON_Y_BIAS = 23168;

bool present(NetStreamIn& s) { return s.read_bits(1) != 0; }

float fraction(NetStreamIn& s, int bits, float divisor) { return static_cast<float>(s.read_bits(bits)) / divisor; }

template <size_t N>
void copy_name(char (&out)[N], const char* text)
{
    std::snprintf(out, N, "%s", text);
}

} // namespace

int LampRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int LampRecords::unlink(int, int) { return 1; }

int LampRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    LampState& lamp = record(index);
    if (present(stream)) {
        lamp.intensity = fraction(stream, 6, 63.0f);
    }
    if ((mask & UPD_EXTENDED) != 0) {
        if (present(stream)) {
            lamp.colour = read_colour6(stream, 3);
        }
        if (present(stream)) {
            lamp.focus_mode = stream.read_bits(4);
            for (float& f : lamp.focus) {
                f = fraction(stream, 8, 32.0f);
            }
        }
    }
    return 1;
}

int LightRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int LightRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    LightState& light = record(index);
    if ((mask & UPD_CREATE) != 0) {
        const uint32_t lamp = read_lamp_reference(stream);
        if (light.lamp != OBJID_UNUSED) {
            print_string(P_DEBUG2, "Lamp: Got duplicate create message");
        } else {
            light.lamp = lamp;
        }
    }
    if (present(stream)) {
        light.range = fraction(stream, 8, 16.0f);
    }
    if ((mask & UPD_EXTENDED) != 0 && present(stream)) {
        light.kind = stream.read32();
        light.intensity = fraction(stream, 5, 31.0f);
    }
    return 1;
}

int FlareRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int FlareRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    FlareState& flare = record(index);
    if (present(stream)) {
        flare.scale = fraction(stream, 6, 16.0f);
    }
    if ((mask & UPD_EXTENDED) == 0) {
        return 1;
    }
    if (present(stream)) {
        const float x1 = fraction(stream, 4, 15.0f);
        const float y1 = fraction(stream, 5, 8.0f);
        const float k1 = static_cast<float>(stream.read_bits(4));
        const float y2 = fraction(stream, 5, 8.0f);
        const float k2 = static_cast<float>(stream.read_bits(4));
        const float x2 = fraction(stream, 4, 15.0f);
        const float y3 = fraction(stream, 5, 8.0f);
        const float x3 = fraction(stream, 4, 15.0f);
        const float y4 = fraction(stream, 5, 8.0f);
        const float x4 = fraction(stream, 4, 15.0f);
        const float y5 = fraction(stream, 5, 8.0f);
        flare.fade[0] = x2;
        flare.fade[1] = y3;
        const float rays[5] = {x1, y1, k1, y2, k2};
        std::memcpy(flare.rays, rays, sizeof rays);
        flare.streak[0] = x3;
        flare.streak[1] = y4;
        flare.ghosts[0] = x4;
        flare.ghosts[1] = y5;
    }
    if (present(stream)) {
        flare.colour = read_colour12(stream);
    }
    if (present(stream)) {
        const uint32_t no_lamp = stream.read_bits(1);
        flare.lamp = no_lamp != 0 ? OBJID_UNUSED : read_lamp_reference(stream);
        flare.size = static_cast<float>(stream.read_bits(8)) * 32.0f;
    }
    return 1;
}

int MeshRecords::create(int capacity)
{
    if (create_records(capacity, 1) == 0 || names_.create(0, MESH_NAME_BLOCKS, MESH_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void MeshRecords::destroy()
{
    names_.clear();
    destroy_records();
}

int MeshRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int MeshRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    MeshState& mesh = record(index);
    if ((mask & UPD_CREATE) != 0) {
        char name[MESH_NAME_SIZE];
        if (names_.read(&stream, name, 5, 0) != 0) {
            return 0;
        }
        if (mesh.has_model) {
            print_string(P_DEBUG2, "Mesh: Got duplicate create message");
        } else {
            // "directory/model" or the model alone; each part a plain name.
            char* const separator = std::strpbrk(name, "/\\");
            const char* directory = "";
            const char* model = name;
            if (separator != nullptr) {
                *separator = '\0';
                directory = name;
                model = separator + 1;
            }
            if (is_plain_name(model) && (directory[0] == '\0' || is_plain_name(directory))) {
                copy_name(mesh.directory, directory);
                copy_name(mesh.model, model);
                mesh.has_model = true;
            }
        }
    }
    if (present(stream)) {
        mesh.frame1 = stream.read_bits(8);
        mesh.frame2 = stream.read_bits(8);
        mesh.blend = fraction(stream, 4, 16.0f);
    }
    if ((mask & UPD_EXTENDED) != 0) {
        if (present(stream)) {
            mesh.colour = read_colour12(stream);
        }
        if (present(stream)) {
            mesh.strength = fraction(stream, 4, 15.0f);
            mesh.sharpness = fraction(stream, 3, 8.0f);
            mesh.transparency = fraction(stream, 5, 31.0f);
        }
    }
    return 1;
}

int SpriteRecords::create(int capacity)
{
    if (create_records(capacity, 1) == 0 || names_.create(0, SPRITE_NAME_BLOCKS, SPRITE_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void SpriteRecords::destroy()
{
    names_.clear();
    destroy_records();
}

int SpriteRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int SpriteRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    SpriteState& sprite = record(index);
    if ((mask & UPD_CREATE) != 0) {
        char name[SPRITE_NAME_SIZE];
        if (names_.read(&stream, name, 6, 0) != 0) {
            return 0;
        }
        if (!sprite.has_texture && is_plain_name(name)) {
            copy_name(sprite.texture, name);
            sprite.has_texture = true;
        }
    }
    return 1;
}

int ModelRecords::create(SharedMap* map)
{
    destroy();
    if (map == nullptr || CObjManager::create(map->models.count(), 0) == 0) {
        return 0;
    }
    map_ = map;
    return 1;
}

void ModelRecords::destroy()
{
    // The entities belong to the shared map, which may outlive this client's hold.
    if (map_ != nullptr) {
        for (int i = first_used(); i >= 0; i = common(i).next) {
            unlink_entity(*map_, map_->models.entity(i));
        }
    }
    map_ = nullptr;
    CObjManager::destroy();
}

int ModelRecords::link(int index)
{
    ModelEntity& e = map_->models.entity(index);
    e.reset();
    link_new_entity(*map_, e);
    return 1;
}

int ModelRecords::unlink(int index, int)
{
    unlink_entity(*map_, map_->models.entity(index));
    return 1;
}

int ModelRecords::net_update(int index, uint32_t mask, NetStreamIn&)
{
    if ((mask & UPD_PLACEMENT) != 0) {
        ModelEntity& e = map_->models.entity(index);
        e.compose_transform(common(index).pose);
        link_entity(*map_, e);
    }
    return 1;
}

int EmitterRecords::create(int capacity)
{
    if (create_records(capacity, 1) == 0 || states_.create(1, EMITTER_STATE_BLOCKS, EMITTER_STATE_BYTES) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void EmitterRecords::destroy()
{
    states_.clear();
    destroy_records();
}

int EmitterRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int EmitterRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    if ((mask & UPD_CREATE) == 0) {
        read_state(index, mask, stream);
        return 1;
    }
    uint8_t block[EMITTER_STATE_BYTES] = {};
    if (states_.read(&stream, block, 6, EMITTER_STATE_BITS) != 0) {
        return 0;
    }
    NetStreamIn state;
    state.attach(block, EMITTER_STATE_BITS);
    read_state(index, mask, state);
    state.detach();
    return 1;
}

void EmitterRecords::read_state(int index, uint32_t mask, NetStreamIn& s)
{
    EmitterState& e = record(index);
    const bool create = (mask & UPD_CREATE) != 0;
    const auto group = [&]() { return create || present(s); };
    if (create) {
        e.particles = s.read_bits(8) * 16;
    }
    if (group()) {
        e.mode = s.read_bits(3);
    }
    if ((mask & UPD_EXTENDED) == 0) {
        return;
    }
    if (group()) {
        for (float& f : e.fade) {
            f = s.read_float();
        }
    }
    if (group()) {
        e.emitter_flag = s.read_bits(1);
        for (float& f : e.emitter) {
            f = s.read_float();
        }
        for (float& f : e.acceleration) {
            f = s.read_float();
        }
    }
    if (group()) {
        e.colours[0] = read_colour12(s);
        e.colours[1] = read_colour12(s);
    }
    if (group()) {
        e.spawn_count = s.read_bits(8) * 16;
        for (uint32_t& v : e.spawn) {
            v = s.read_bits(6) * 8;
        }
    }
}

int SoundRecords::create(int capacity)
{
    if (create_records(capacity, 1) == 0 || names_.create(0, SOUND_NAME_BLOCKS, SOUND_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void SoundRecords::destroy()
{
    names_.clear();
    destroy_records();
}

int SoundRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int SoundRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    SoundState& sound = record(index);
    if ((mask & UPD_CREATE) != 0) {
        char name[SOUND_NAME_SIZE];
        if (names_.read(&stream, name, 6, 0) != 0) {
            return 0;
        }
        const uint32_t looped = stream.read_bits(1);
        if (!sound.has_source) {
            if (is_plain_name(name)) {
                copy_name(sound.name, name);
                sound.looped = looped;
                sound.has_source = true;
            } else {
                print_format(P_WARNING, "Client: Can't add sound '%s'", name);
            }
        }
    }
    if (present(stream)) {
        sound.frequency = stream.read_bits(8);
    }
    if ((mask & UPD_EXTENDED) != 0) {
        if (present(stream)) {
            sound.distances[0] = stream.read_bits(6);
            sound.distances[1] = stream.read_bits(6);
        }
        if (present(stream)) {
            sound.levels[0] = stream.read_bits(6);
            sound.levels[1] = stream.read_bits(6);
        }
    }
    return 1;
}

int CameraRecords::create(int capacity)
{
    if (capacity != 1) {
        return 0;
    }
    return CObjManager::create(1, 1);
}

int CameraRecords::link(int)
{
    view.reset();
    view.set_param(0.0f);
    view.set_extents(0.5f, 0.375f);
    tint = 0;
    return 1;
}

int CameraRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    if ((mask & UPD_EXTENDED) != 0) {
        if (present(stream)) {
            tint = read_colour6(stream, 4);
        }
        if (present(stream)) {
            const float x = fraction(stream, 10, 256.0f);
            const float y = fraction(stream, 10, 256.0f);
            view.set_extents(x, y);
        }
    }
    if ((mask & UPD_PLACEMENT) != 0) {
        view.set_from_placement(common(index).pose);
    }
    return 1;
}

int IconRecords::create(int capacity)
{
    if (create_records(capacity, 1) == 0 || names_.create(0, ICON_NAME_BLOCKS, ICON_NAME_SIZE) != 0) {
        destroy();
        return 0;
    }
    return 1;
}

void IconRecords::destroy()
{
    names_.clear();
    destroy_records();
}

int IconRecords::link(int index)
{
    reset_record(index);
    return 1;
}

int IconRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    IconState& icon = record(index);
    if ((mask & UPD_CREATE) != 0) {
        if (!icon.placed) {
            icon.x = static_cast<int32_t>(stream.read_bits(16)) - ICON_X_BIAS;
            icon.y = static_cast<int32_t>(stream.read_bits(16)) - ICON_Y_BIAS;
            icon.width = static_cast<int32_t>(stream.read_bits(16)) - ICON_X_BIAS;
            icon.height = static_cast<int32_t>(stream.read_bits(16)) - ICON_Y_BIAS;
            icon.placed = true;
        } else {
            print_string(P_DEBUG2, "Icon: Got duplicate create message");
            (void)stream.skip_bits(64);
        }
    }
    if (present(stream)) {
        char name[ICON_NAME_SIZE];
        if (names_.read(&stream, name, 6, 0) != 0 || !is_plain_name(name)) {
            return 0;
        }
        copy_name(icon.picture, name);
    }
    if (present(stream)) {
        icon.extent = static_cast<int32_t>(stream.read_bits(16)) - ICON_X_BIAS;
    }
    return 1;
}
