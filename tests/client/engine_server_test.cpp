// The engine with its own server over its own loopback: a generated map and
// assembled scripts, the client connects, loads the map, receives the
// camera the server made for it, and a key bound through the console reaches
// the server's input. Every update message of the session, recorded, is
// decoded again by the server's reference decoder, which must agree with the
// client's objects.
#include "client/client_renderer.h"
#include "support/scan_codes.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "engine_fixture.h"
#include "generated_map.h"
#include "host/host_events.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"
#include "server_properties.h"
#include "tools/fake_client/client_view.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <fstream>
#include <iterator>
#include <map>

namespace {


// The engine on the generated three rooms, with a queue of window events.
class EngineServerTest : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(write_generated_map("three_rooms", "maps/rooms"));
    }
    void start_engine() { ASSERT_NO_FATAL_FAILURE(EngineFixture::start_engine("rooms")); }

    host::QueueEventSource events_;
    host::ScopedEventSource events_guard_{&events_};
};

TEST_F(EngineServerTest, SessionOverTheEnginesLoopback)
{
    ASSERT_NO_FATAL_FAILURE(start_engine());
    Client* const client = engine_->client();
    ASSERT_EQ(client->cons_cmd()->add_text("Record cmp\nKeyDef W Forward\nConnect local"), 1);
    for (int i = 0; i < 200 && client->camera() == nullptr; ++i) {
        frame(1.0 / 70.0);
    }
    ASSERT_EQ(client->net_state(), CSTATE_ACCEPTED);
    ASSERT_TRUE(client->map_active());
    ASSERT_NE(client->camera(), nullptr) << "the server's camera for this client";
    EXPECT_EQ(client->damaged_messages(), 0);
    ASSERT_TRUE(spawned_slot(*engine_).spawned);
    EXPECT_EQ(static_cast<uint32_t>(spawned_slot(*engine_).camera_id), client->camera()->id);

    const uint32_t ms = clock_.milliseconds();
    ASSERT_TRUE(events_.push(host::WM_KEYDOWN, 'W', host::key_lparam(SCAN_W, false, false, false), ms + 5));
    for (int i = 0; i < 4; ++i) {
        frame(0.05);
    }
    EXPECT_FLOAT_EQ(spawned_slot(*engine_).forward, 1.0f) << "the held key reached the server";
    EXPECT_GE(spawned_slot(*engine_).input_stamp, 0) << "the client acknowledges the server's updates";

    for (int i = 0; i < 40; ++i) {
        frame(1.0 / 70.0);
    }
    // The client's objects, before the disconnect unloads them.
    struct Held {
        CObjCommon common;
        uint32_t tint = 0;
        float half[2] = {};
    };
    std::map<uint32_t, Held> held;
    for (int c = 1; c < OBJID_CLASSMAX; ++c) {
        CObjManager* const m = client->decoder().manager(c);
        for (int i = m != nullptr ? m->first() : -1; i >= 0; i = m->next()) {
            Held h{m->common(i)};
            if (c == OBJCLASS_CAMERA) {
                h.tint = client->entities().camera.tint();
                h.half[0] = client->entities().camera.view.half_x;
                h.half[1] = client->entities().camera.view.half_y;
            }
            held[m->common(i).id] = h;
        }
    }
    ASSERT_EQ(client->cons_cmd()->add_text("Disconnect"), 1);
    frame(0.02);

    // The recording: {u8 id, u16 bits, payload} after the 24-byte head, up to the end mark.
    std::ifstream vcr("cmp.vcr", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(vcr)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 24u);
    fake_client::ClientView view;
    int updates = 0;
    for (size_t at = 24; at + 3 <= bytes.size();) {
        const int id = bytes[at];
        const int32_t bits = bytes[at + 1] | bytes[at + 2] << 8;
        if (id == 0xFF && bits == 0xFFFF) {
            break;
        }
        at += 3;
        const size_t n = static_cast<size_t>(bits + 7) / 8;
        ASSERT_LE(at + n, bytes.size());
        if (id == 0x60) {
            const fake_client::UpdateMessage m = fake_client::decode_update(bytes.data() + at, bits);
            EXPECT_EQ(m.error, "") << "update " << m.stamp;
            view.apply(m);
            ++updates;
        }
        at += n;
    }
    EXPECT_GT(updates, 5);
    EXPECT_TRUE(view.errors.empty()) << view.errors.front();
    ASSERT_EQ(view.objects.size(), held.size());
    for (const auto& [id, object] : view.objects) {
        const auto it = held.find(id);
        ASSERT_NE(it, held.end()) << std::hex << id;
        const fake_client::UpdateRecord& r = object.state;
        const AnglePose* const pose = it->second.common.pose;
        const float position[3] = {pose[0].position.x, pose[0].position.y, pose[0].position.z};
        const float angles[3] = {pose[0].a, pose[0].b, pose[0].c};
        const float own[3] = {pose[1].a, pose[1].b, pose[1].c};
        for (int k = 0; k < 3; ++k) {
            if ((r.mask & (0x1u << k)) != 0) {
                EXPECT_EQ(position[k], static_cast<float>(r.position[k])) << std::hex << id << " position " << k;
            }
            if ((r.mask & (0x8u << k)) != 0) {
                EXPECT_NEAR(angles[k], r.carrier[k] * 6.2831855, 1e-5) << std::hex << id << " angle " << k;
            }
            if ((r.mask & (0x80u << k)) != 0) {
                EXPECT_NEAR(own[k], r.own[k] * 6.2831855, 1e-5) << std::hex << id << " own angle " << k;
            }
        }
        if (r.filter_present) {
            uint32_t tint = 0;
            for (int k = 0; k < 4; ++k) {
                tint |= ((r.filter[k] << 2) | (r.filter[k] >> 4)) << (8 * k);
            }
            EXPECT_EQ(it->second.tint, tint);
        }
        if (r.zoom_present) {
            EXPECT_EQ(it->second.half[0], static_cast<float>(r.zoom[0]) / 256.0f);
            EXPECT_EQ(it->second.half[1], static_cast<float>(r.zoom[1]) / 256.0f);
        }
    }
}

} // namespace

namespace {

using namespace server_property;

uint32_t widen6_word(const std::array<uint32_t, 3>& c)
{
    uint32_t w = 0;
    for (int k = 0; k < 3; ++k) {
        w |= ((c[static_cast<size_t>(k)] << 2) | (c[static_cast<size_t>(k)] >> 4)) << (8 * k);
    }
    return w;
}

uint32_t widen4_word(uint32_t code)
{
    uint32_t w = 0;
    for (int k = 0; k < 3; ++k) {
        const uint32_t c = (code >> (4 * k)) & 0xF;
        w |= ((c << 4) | c) << (8 * k);
    }
    return w;
}

} // namespace

// Objects of every class made, changed and removed on the engine's own
// server reach the client's entities with the values the reference decoder
// reads from the same updates.
TEST_F(EngineServerTest, EveryClassReachesTheClientsEntities)
{
    ASSERT_NO_FATAL_FAILURE(start_engine());
    Client* const client = engine_->client();
    ASSERT_EQ(client->cons_cmd()->add_text("Record every\nConnect local"), 1);
    for (int k = 0; k < 200 && client->camera() == nullptr; ++k) {
        frame(1.0 / 70.0);
    }
    ASSERT_NE(client->camera(), nullptr);
    const Vector at = client->camera()->pose[0].position;
    Engine& e = *engine_;
    const auto place = [&](int32_t id) { server_place(e, id, at.x, at.y, at.z); };

    const int32_t map_lamp = server_object_at(e, 1, 0);
    ASSERT_GE(map_lamp, 0) << "the map has lamps";
    ASSERT_EQ(server_set(e, map_lamp, LAMP_VALUE, {r(0.5)}), 1);
    ASSERT_EQ(server_set(e, map_lamp, LAMP_COLOR, {i(0x00FC8004)}), 1);
    const int32_t lamp = server_create(e, 2);
    ASSERT_EQ(server_set(e, lamp, LAMP_EFFECT, {i(5), r(1.0), r(2.0), r(0.5), r(7.5)}), 1);
    const int32_t light = server_create(e, 3);
    place(light);
    ASSERT_EQ(server_set(e, light, LIGHT_LAMP, {i(lamp)}), 1);
    ASSERT_EQ(server_set(e, light, LIGHT_INTENSITY, {r(2.0)}), 1);
    ASSERT_EQ(server_set(e, light, LIGHT_FOCUS, {r(0.25)}), 1);
    const int32_t flare = server_create(e, 4);
    place(flare);
    ASSERT_EQ(server_set(e, flare, FLARE_LAMP, {i(map_lamp)}), 1);
    ASSERT_EQ(server_set(e, flare, FLARE_LIMIT, {r(100.0)}), 1);
    ASSERT_EQ(server_set(e, flare, FLARE_COLOR, {i(0x00FF8040)}), 1);
    ASSERT_EQ(server_set(e, flare, FLARE_STAR, {r(0.5), r(2.0), i(3), r(1.0), i(2)}), 1);
    ASSERT_EQ(server_set(e, flare, FLARE_INTENSITY, {r(1.5)}), 1);
    const int32_t mesh = server_create(e, 5);
    place(mesh);
    const int32_t sprite = server_create(e, 6);
    place(sprite);
    ASSERT_EQ(server_set(e, sprite, SPRITE_NAME, {t("spark")}), 1);
    const int32_t particles = server_create(e, 8);
    place(particles);
    ASSERT_EQ(server_set(e, particles, PARTICLE_CREATE, {i(200)}), 1);
    ASSERT_EQ(server_set(e, particles, PARTICLE_COLOR, {i(0x00F0A050), i(0x00102030)}), 1);
    ASSERT_EQ(server_set(e, particles, PARTICLE_SIZE, {r(2.0), r(0.5)}), 1);
    ASSERT_EQ(server_set(e, particles, PARTICLE_START, {i(64), r(0.5), r(1.0), r(0), r(2.0)}), 1);
    ASSERT_EQ(server_set(e, particles, PARTICLE_LIFETIME, {r(3.0)}), 1);
    ASSERT_EQ(server_set(e, particles, PARTICLE_FLAGS, {i(5)}), 1);
    const int32_t icon = server_create(e, 11);
    ASSERT_EQ(server_set(e, icon, ICON_RECTANGLE, {i(0), i(0), i(6400), i(4800)}), 1);
    ASSERT_EQ(server_set(e, icon, ICON_NAME, {t("health")}), 1);
    ASSERT_EQ(server_set(e, icon, ICON_CLIP, {i(3200)}), 1);
    for (int k = 0; k < 10; ++k) {
        frame(1.0 / 70.0);
    }
    // Changed: the lamp's value, the flare's colour, the icon's extent.
    ASSERT_EQ(server_set(e, lamp, LAMP_VALUE, {r(0.25)}), 1);
    ASSERT_EQ(server_set(e, flare, FLARE_COLOR, {i(0x000000FF)}), 1);
    ASSERT_EQ(server_set(e, icon, ICON_CLIP, {i(1600)}), 1);
    for (int k = 0; k < 10; ++k) {
        frame(1.0 / 70.0);
    }
    EXPECT_EQ(client->damaged_messages(), 0);
    const int32_t stamp = client->decoder().latest_stamp;
    EntitySet& es = client->entities();
    const auto slot_of = [&](int32_t id) {
        const int c = (id >> 20) & 15;
        CObjManager* const m = client->decoder().manager(c);
        return m != nullptr ? m->find(static_cast<uint32_t>(id)) : -1;
    };
    const uint32_t ids[] = {static_cast<uint32_t>(map_lamp), static_cast<uint32_t>(lamp),
                            static_cast<uint32_t>(light),    static_cast<uint32_t>(flare),
                            static_cast<uint32_t>(mesh),     static_cast<uint32_t>(sprite),
                            static_cast<uint32_t>(particles), static_cast<uint32_t>(icon)};
    for (const uint32_t id : ids) {
        EXPECT_GE(slot_of(static_cast<int32_t>(id)), 0) << std::hex << id << " reached the client";
    }
    // Shown in the frame: the icon is on the screen manager's list.
    const IconHandle& shown = es.icons.handle(slot_of(icon));
    ASSERT_NE(client->renderer()->screen_manager(), nullptr);
    EXPECT_GE(shown.id, 0);
    EXPECT_TRUE(client->renderer()->screen_manager()->icon_active(shown.id));

    // What the client holds now, to be set against the reference decoder's reading.
    struct Seen {
        const LampData* lamp = nullptr;
        float intensity = 0.0f;
        uint32_t colour = 0;
        int32_t lamp_type = 0;
        float speed = 0.0f;
        float reach = 0.0f;
        uint32_t spot = 0;
        int32_t light_intensity = 0;
        float scale = 0.0f;
        int32_t level = 0;
        float glow_radius = 0.0f;
        float near = 0.0f;
        MeshPose pose;
        uint32_t ambient = 0;
        const TextureSlot* texture = nullptr;
        int32_t pool = 0;
        uint32_t mode = 0;
        float fade[2] = {};
        uint32_t colours[2] = {};
        int32_t respawn = 0;
        IconHandle handle;
        std::string picture;
    };
    std::map<uint32_t, Seen> seen;
    {
        const auto keep_lamp = [&](int32_t id, const LampData& l) {
            Seen& k = seen[static_cast<uint32_t>(id)];
            k.lamp = &l;
            k.intensity = l.intensity;
            k.colour = l.colour;
            k.lamp_type = l.lamp_type;
            k.speed = l.speed;
        };
        keep_lamp(map_lamp, *es.map_lamps.lamp(slot_of(map_lamp)));
        keep_lamp(lamp, *es.dynamic_lamps.lamp(slot_of(lamp)));
        const LightSource& l = es.lights.record(slot_of(light));
        Seen& sl = seen[static_cast<uint32_t>(light)];
        sl.lamp = l.lamp;
        sl.reach = l.reach;
        sl.spot = l.spot_word;
        sl.light_intensity = l.intensity;
        const LampSpriteRender& f = es.flares.record(slot_of(flare));
        Seen& sf = seen[static_cast<uint32_t>(flare)];
        sf.lamp = f.lamp;
        sf.scale = f.scale;
        sf.level = f.level;
        sf.glow_radius = f.glow_radius;
        sf.colour = f.colour;
        sf.near = f.near;
        const MeshObject& mo = es.meshes.record(slot_of(mesh));
        seen[static_cast<uint32_t>(mesh)].pose = mo.pose[0];
        seen[static_cast<uint32_t>(mesh)].ambient = mo.ambient;
        seen[static_cast<uint32_t>(sprite)].texture = es.sprites.texture(slot_of(sprite));
        const ParticleRender& p = es.emitters.record(slot_of(particles));
        Seen& sp = seen[static_cast<uint32_t>(particles)];
        sp.pool = p.pool_size();
        sp.mode = p.flags & PARTICLE_MODE_BITS;
        sp.fade[0] = p.intensity_base;
        sp.fade[1] = p.intensity_range;
        sp.colours[0] = p.colour_base;
        sp.colours[1] = p.colour_range;
        sp.respawn = p.respawn_life;
        seen[static_cast<uint32_t>(icon)].handle = shown;
        seen[static_cast<uint32_t>(icon)].picture = shown.owner != nullptr ? shown.owner->name() : "";
    }

    // Removed: every class lets go at once, the emitter once its particles have died.
    for (const int32_t id : {light, flare, mesh, sprite, icon, lamp, particles}) {
        server_destroy(e, id);
    }
    for (int k = 0; k < 10; ++k) {
        frame(1.0 / 70.0);
    }
    for (const int32_t id : {light, flare, mesh, sprite, icon, lamp}) {
        EXPECT_EQ(slot_of(id), -1) << std::hex << id << " removed";
    }
    const int kept = slot_of(particles);
    if (kept >= 0) {
        EXPECT_NE(es.emitters.common(kept).state & COBJ_REMOVED, 0u) << "kept only while its particles live";
    }
    for (int k = 0; k < 400 && slot_of(particles) >= 0; ++k) {
        frame(1.0 / 70.0);
    }
    EXPECT_EQ(slot_of(particles), -1) << "the emitter went with its last particle";
    EXPECT_EQ(client->damaged_messages(), 0);
    ASSERT_EQ(client->cons_cmd()->add_text("Disconnect"), 1);
    frame(0.02);

    // The recording through the reference decoder, up to the client's state above.
    std::ifstream vcr("every.vcr", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(vcr)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 24u);
    fake_client::ClientView view;
    for (size_t pos = 24; pos + 3 <= bytes.size();) {
        const int id = bytes[pos];
        const int32_t bits = bytes[pos + 1] | bytes[pos + 2] << 8;
        if (id == 0xFF && bits == 0xFFFF) {
            break;
        }
        pos += 3;
        const size_t n = static_cast<size_t>(bits + 7) / 8;
        ASSERT_LE(pos + n, bytes.size());
        if (id == 0x60) {
            const fake_client::UpdateMessage m = fake_client::decode_update(bytes.data() + pos, bits);
            ASSERT_EQ(m.error, "");
            if (m.stamp > stamp) {
                break;
            }
            view.apply(m);
        }
        pos += n;
    }
    ASSERT_TRUE(view.errors.empty()) << view.errors.front();
    const uint8_t* const layout = client->renderer()->attach_layout();
    const auto pack = [&](uint32_t c) {
        uint32_t w = 0;
        for (int k = 0; k < 4; ++k) {
            w |= ((c >> (8 * k)) & 0xFFu) << (layout[k] & 31);
        }
        return w;
    };
    const auto state = [&](int32_t id) -> const fake_client::UpdateRecord& {
        static const fake_client::UpdateRecord none;
        const auto found = view.objects.find(static_cast<uint32_t>(id));
        EXPECT_NE(found, view.objects.end()) << std::hex << id;
        return found != view.objects.end() ? found->second.state : none;
    };

    for (const int32_t id : {map_lamp, lamp}) {
        const fake_client::LampParts& w = state(id).lamp;
        const Seen& c = seen[static_cast<uint32_t>(id)];
        EXPECT_EQ(c.intensity, w.intensity ? static_cast<float>(*w.intensity) / 63.0f : 1.0f) << std::hex << id;
        EXPECT_EQ(c.colour, w.colour ? widen6_word(*w.colour) : 0xFFFFFFu) << std::hex << id;
        if (w.effect) {
            EXPECT_EQ(c.lamp_type, static_cast<int32_t>((*w.effect)[0]));
            EXPECT_EQ(c.speed, static_cast<float>((*w.effect)[3]) / 32.0f);
        }
    }
    EXPECT_FLOAT_EQ(seen[static_cast<uint32_t>(lamp)].intensity, 15.0f / 63.0f) << "the change, 0.25 in 63rds";
    {
        const fake_client::LightParts& w = state(light).light;
        const Seen& c = seen[static_cast<uint32_t>(light)];
        ASSERT_TRUE(w.lamp && w.intensity && w.focus && w.maximum);
        EXPECT_FALSE(w.lamp->map_lamp);
        EXPECT_EQ(c.lamp, seen[static_cast<uint32_t>(lamp)].lamp);
        EXPECT_EQ(c.reach, static_cast<float>(*w.intensity) / 16.0f * 100.0f);
        EXPECT_EQ(c.spot, std::bit_cast<uint32_t>(*w.focus));
        LightSource expected;
        expected.set_intensity(static_cast<float>(*w.maximum) / 31.0f);
        EXPECT_EQ(c.light_intensity, expected.intensity);
    }
    {
        const fake_client::FlareParts& w = state(flare).flare;
        const Seen& c = seen[static_cast<uint32_t>(flare)];
        ASSERT_TRUE(w.intensity && w.shape && w.colour && w.lamp);
        EXPECT_EQ(c.scale, static_cast<float>(*w.intensity) / 16.0f);
        LampSpriteRender expected;
        expected.set_fade(static_cast<float>((*w.shape)[5]) / 15.0f, static_cast<float>((*w.shape)[6]) / 8.0f);
        EXPECT_EQ(c.level, expected.level);
        EXPECT_EQ(c.glow_radius, expected.glow_radius);
        EXPECT_EQ(c.colour, widen4_word(*w.colour));
        EXPECT_EQ(c.colour, 0x0000FFu) << "the changed colour";
        EXPECT_FALSE(w.lamp->none);
        EXPECT_EQ(c.lamp, seen[static_cast<uint32_t>(map_lamp)].lamp);
        EXPECT_EQ(c.near, static_cast<float>(w.lamp->limit) * 32.0f);
    }
    {
        const fake_client::MeshParts& w = state(mesh).mesh;
        const Seen& c = seen[static_cast<uint32_t>(mesh)];
        if (w.frame) {
            EXPECT_EQ(c.pose.frame1, static_cast<int32_t>((*w.frame)[0]));
            EXPECT_EQ(c.pose.frame2, static_cast<int32_t>((*w.frame)[1]));
        }
        EXPECT_EQ(c.ambient, w.colour ? widen4_word(*w.colour) : 0u);
    }
    {
        const std::string& name = view.objects[static_cast<uint32_t>(sprite)].name;
        EXPECT_EQ(name, "spark");
        EXPECT_NE(seen[static_cast<uint32_t>(sprite)].texture, nullptr);
    }
    {
        const fake_client::ParticleParts& w = state(particles).particle;
        const Seen& c = seen[static_cast<uint32_t>(particles)];
        ASSERT_TRUE(w.count && w.flags && w.size && w.colour && w.timing);
        EXPECT_EQ(c.pool, static_cast<int32_t>(*w.count) * 16);
        EXPECT_EQ(c.mode, *w.flags);
        EXPECT_EQ(c.fade[0], (*w.size)[0]);
        EXPECT_EQ(c.fade[1], (*w.size)[1]);
        EXPECT_EQ(c.colours[0], pack(widen4_word((*w.colour)[0]))) << "in the screen's pixel layout";
        EXPECT_EQ(c.colours[1], pack(widen4_word((*w.colour)[1])));
        EXPECT_EQ(c.respawn, static_cast<int32_t>((*w.timing)[1]) * 8);
    }
    {
        const fake_client::IconParts& w = state(icon).icon;
        const IconHandle& c = seen[static_cast<uint32_t>(icon)].handle;
        ASSERT_TRUE(w.rect && w.clip);
        EXPECT_EQ(c.x, static_cast<int32_t>((*w.rect)[0]) - 19968);
        EXPECT_EQ(c.y, static_cast<int32_t>((*w.rect)[1]) - 23168);
        EXPECT_EQ(c.width, static_cast<int32_t>((*w.rect)[2]) - 19968);
        EXPECT_EQ(c.height, static_cast<int32_t>((*w.rect)[3]) - 23168);
        EXPECT_EQ(c.extent, static_cast<int32_t>(*w.clip) - 19968);
        EXPECT_EQ(c.extent, 1600) << "the changed extent";
        EXPECT_EQ(view.objects[static_cast<uint32_t>(icon)].name, "health");
        EXPECT_EQ(seen[static_cast<uint32_t>(icon)].picture, "health");
    }
}
