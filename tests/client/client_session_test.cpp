// Whole sessions against the fake server: every object class decoded into
// the client's records, a mode change under a loaded map, and a recorded
// session played back, also as a time demo.
#include "client_fixture.h"

#include "net/net_stream_out.h"
#include "renderer/icon_picture.h"
#include "world/shared_map.h"

#include <cstring>

namespace {

// The classes' own parts, written as the server writes them.
struct Encoders {
    fake::NameCache meshes{5};
    fake::NameCache sprites{6};
    fake::NameCache sounds{6};
    fake::NameCache pictures{6};
    uint32_t next_state_block = 0;

    static void lamp_ref(NetStreamOut& s, uint32_t index, uint32_t count, bool map_lamp)
    {
        s.write_bits(index > 255 ? 1 : 0, 1);
        s.write_bits(index, index > 255 ? 16 : 8);
        s.write_bits(count, 4);
        s.write_bits(map_lamp ? 1 : 0, 1);
    }
};

fake::Object make(uint32_t cls, uint32_t index, uint32_t mask, std::function<void(NetStreamOut&)> part = nullptr)
{
    fake::Object o;
    o.object_class = cls;
    o.index = index;
    o.mask = mask;
    o.class_part = std::move(part);
    return o;
}

constexpr uint32_t CREATE = 0x2000 | 0x400;

// One create of every class, with placement for the camera and a BSP model.
std::vector<fake::Object> every_class(Encoders& e, float camera_x)
{
    std::vector<fake::Object> v;
    v.push_back(make(1, 0, CREATE, [](NetStreamOut& s) {
        s.write_bits(1, 1);
        s.write_bits(63, 6);
        s.write_bits(1, 1);
        s.write_bits(63, 6);
        s.write_bits(32, 6);
        s.write_bits(1, 6);
        s.write_bits(0, 1);
    }));
    v.push_back(make(2, 7, CREATE, [](NetStreamOut& s) {
        s.write_bits(1, 1);
        s.write_bits(21, 6);
        s.write_bits(0, 1);
        s.write_bits(1, 1);
        s.write_bits(2, 4);
        for (uint32_t n : {32u, 64u, 16u, 255u}) {
            s.write_bits(n, 8);
        }
    }));
    v.push_back(make(3, 9, CREATE, [](NetStreamOut& s) {
        Encoders::lamp_ref(s, 7, 0, false);
        s.write_bits(1, 1);
        s.write_bits(40, 8);
        s.write_bits(1, 1);
        s.write_float(2.5f);
        s.write_bits(31, 5);
    }));
    v.push_back(make(4, 11, CREATE, [](NetStreamOut& s) {
        s.write_bits(1, 1);
        s.write_bits(8, 6);
        s.write_bits(1, 1);
        for (auto [value, bits] : std::initializer_list<std::pair<uint32_t, int>>{
                 {15, 4}, {8, 5}, {3, 4}, {4, 5}, {5, 4}, {0, 4}, {16, 5}, {15, 4}, {24, 5}, {5, 4}, {31, 5}}) {
            s.write_bits(value, bits);
        }
        s.write_bits(1, 1);
        s.write_bits(0x08F, 12); // channels F, 8, 0
        s.write_bits(1, 1);
        s.write_bits(0, 1);
        Encoders::lamp_ref(s, 0, 0, true);
        s.write_bits(2, 8);
    }));
    v.push_back(make(5, 12, CREATE, [&e](NetStreamOut& s) {
        e.meshes.write(s, "monsters/ogre");
        s.write_bits(1, 1);
        s.write_bits(4, 8);
        s.write_bits(5, 8);
        s.write_bits(8, 4);
        s.write_bits(0, 1);
        s.write_bits(1, 1);
        s.write_bits(15, 4);
        s.write_bits(4, 3);
        s.write_bits(31, 5);
    }));
    v.push_back(make(6, 13, CREATE, [&e](NetStreamOut& s) { e.sprites.write(s, "spark"); }));
    fake::Object model = make(7, 0, CREATE | 0x7);
    model.position[0] = 10.0f;
    model.position[1] = 20.0f;
    model.position[2] = 30.0f;
    v.push_back(model);
    v.push_back(make(8, 14, CREATE, [&e](NetStreamOut& s) {
        s.write_bits(1, 1);
        s.write_bits(e.next_state_block++, 6);
        const int32_t start = s.bits_written();
        s.write_bits(4, 8);  // 64 particles
        s.write_bits(5, 3);  // mode
        for (float f : {0.5f, 0.25f, 0.125f}) {
            s.write_float(f);
        }
        s.write_bits(1, 1);
        for (int i = 0; i < 15; ++i) {
            s.write_float(static_cast<float>(i));
        }
        s.write_bits(0xFFF, 12);
        s.write_bits(0x000, 12);
        s.write_bits(2, 8);
        for (uint32_t n : {1u, 2u, 3u, 4u, 63u}) {
            s.write_bits(n, 6);
        }
        EXPECT_EQ(s.bits_written() - start, 650);
    }));
    v.push_back(make(9, 15, CREATE | 0x10000, [&e](NetStreamOut& s) {
        e.sounds.write(s, "hum");
        s.write_bits(1, 1);
        s.write_bits(1, 1);
        s.write_bits(32, 8);
        s.write_bits(1, 1);
        s.write_bits(3, 6);
        s.write_bits(9, 6);
        s.write_bits(0, 1);
    }));
    fake::Object camera = make(10, 0, CREATE | 0x1 | 0x8, [](NetStreamOut& s) {
        s.write_bits(1, 1);
        for (uint32_t c : {63u, 32u, 0u, 1u}) {
            s.write_bits(c, 6);
        }
        s.write_bits(1, 1);
        s.write_bits(128, 10);
        s.write_bits(96, 10);
    });
    camera.position[0] = camera_x;
    camera.angles[0] = 0.25f;
    v.push_back(camera);
    v.push_back(make(11, 16, CREATE, [&e](NetStreamOut& s) {
        s.write_bits(19968, 16);
        s.write_bits(23168 + 100, 16);
        s.write_bits(45568, 16);
        s.write_bits(23168 + 19200, 16);
        s.write_bits(1, 1);
        e.pictures.write(s, "health");
        s.write_bits(1, 1);
        s.write_bits(19968 + 12800, 16);
    }));
    for (fake::Object& o : v) {
        o.mask &= 0xFFFF; // 0x10000 only tells the sound writer what it sends
    }
    return v;
}

template <typename M>
int slot(M& m, uint32_t cls, uint32_t index)
{
    return m.find(make_object_id(cls, 0, index));
}

class SessionTest : public ClientTest {
protected:
    void start_session()
    {
        make_map("three");
        connect_and_accept();
        load_map("three");
    }
    void check_every_class(float camera_x)
    {
        EntitySet& e = client_->entities();
        ASSERT_GE(slot(e.map_lamps, 1, 0), 0) << "every map has lamp 0";
        const LampData& map_lamp = *e.map_lamps.lamp(slot(e.map_lamps, 1, 0));
        EXPECT_EQ(map_lamp.intensity, 1.0f);
        EXPECT_EQ(map_lamp.colour, 0x0482FFu) << "63 -> 0xFF, 32 -> 0x82, 1 -> 0x04";
        const LampData& lamp = *e.dynamic_lamps.lamp(slot(e.dynamic_lamps, 2, 7));
        EXPECT_FLOAT_EQ(lamp.intensity, 21.0f / 63.0f);
        EXPECT_EQ(lamp.colour, 0xFFFFFFu);
        EXPECT_EQ(lamp.lamp_type, 2);
        EXPECT_EQ(lamp.twist, 255.0f / 32.0f);
        const LightSource& light = e.lights.record(slot(e.lights, 3, 9));
        EXPECT_EQ(light.lamp, &lamp);
        EXPECT_EQ(light.reach, 250.0f) << "a range of 40 / 16";
        EXPECT_EQ(light.spot_word, std::bit_cast<uint32_t>(2.5f));
        EXPECT_EQ(light.intensity, 128);
        const LampSpriteRender& flare = e.flares.record(slot(e.flares, 4, 11));
        EXPECT_EQ(flare.scale, 0.5f);
        EXPECT_EQ(flare.level, 0) << "the fade's x2 of 0";
        EXPECT_EQ(flare.glow_radius, 64.0f) << "the fade's y3 of 16 / 8, times 32";
        EXPECT_EQ(flare.colour, 0x0088FFu) << "a 12-bit colour F, 8, 0";
        EXPECT_EQ(flare.lamp, &map_lamp);
        EXPECT_EQ(flare.near, 64.0f) << "a size of 2 x 32";
        const int mesh_slot = slot(e.meshes, 5, 12);
        ASSERT_NE(e.meshes.model(mesh_slot), nullptr);
        EXPECT_STREQ(e.meshes.model(mesh_slot)->resource, "monsters");
        EXPECT_STREQ(e.meshes.model(mesh_slot)->name, "ogre");
        const MeshObject& mesh = e.meshes.record(mesh_slot);
        EXPECT_EQ(mesh.pose[0].frame1, 4);
        EXPECT_EQ(mesh.pose[0].frame2, 5);
        EXPECT_EQ(mesh.pose[0].t, 0.5f);
        const TextureSlot* const sprite = e.sprites.texture(slot(e.sprites, 6, 13));
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite, e.sprite_textures.get("sprites", "spark", TEXTURE_KIND_SPRITE));
        const SharedMap* const map = client_->world().shared();
        ASSERT_NE(map, nullptr);
        ASSERT_GT(map->models.count(), 0);
        EXPECT_EQ(map->models.entity(0).position.x, 10.0f);
        EXPECT_EQ(map->models.entity(0).position.z, 30.0f);
        const ParticleRender& emitter = e.emitters.record(slot(e.emitters, 8, 14));
        EXPECT_EQ(emitter.pool_size(), 64);
        EXPECT_EQ(emitter.flags & PARTICLE_MODE_BITS, 5);
        EXPECT_EQ(emitter.intensity_base, 0.5f);
        EXPECT_EQ(emitter.intensity_range, 0.25f);
        EXPECT_FLOAT_EQ(emitter.acceleration.z, 14.0f / (70.0f * 70.0f)) << "per second squared to per tick squared";
        EXPECT_EQ(emitter.respawn_life, 8);
        const SoundState& sound = sound_records().record(slot(sound_records(), 9, 15));
        EXPECT_STREQ(sound.name, "hum");
        EXPECT_EQ(sound.looped, 1u);
        EXPECT_EQ(sound.frequency, 32u);
        EXPECT_EQ(sound.distances[1], 9u);
        EXPECT_EQ(sound.levels[0], 63u);
        ASSERT_NE(client_->camera(), nullptr);
        EXPECT_EQ(client_->camera()->pose[0].position.x, camera_x);
        EXPECT_EQ(e.camera.tint(), 0x040082FFu) << "four 6-bit channels 63, 32, 0, 1";
        EXPECT_EQ(e.camera.view.half_x, 0.5f);
        EXPECT_EQ(e.camera.view.half_y, 0.375f);
        const IconHandle& icon = e.icons.handle(slot(e.icons, 11, 16));
        EXPECT_EQ(icon.x, 0);
        EXPECT_EQ(icon.y, 100);
        EXPECT_EQ(icon.width, 25600);
        EXPECT_EQ(icon.height, 19200);
        ASSERT_NE(icon.owner, nullptr);
        EXPECT_STREQ(icon.owner->name(), "health");
        EXPECT_EQ(icon.extent, 12800);
    }
    SoundRecords& sound_records() { return sound()->sources; }

    Encoders enc_;
};

TEST_F(SessionTest, EveryClassDecodes)
{
    start_session();
    server_->send_update(1, every_class(enc_, 100.0f));
    server_->flush();
    frame();
    EXPECT_EQ(client_->decoder().damaged_messages, 0);
    check_every_class(100.0f);
    EXPECT_EQ(sound()->last_listener, client_->camera()) << "the camera is the listener";

    // The same names again by index, and an update without create for every class.
    std::vector<fake::Object> again = every_class(enc_, 200.0f);
    server_->send_update(2, again);
    server_->flush();
    frame();
    EXPECT_EQ(client_->camera()->pose[0].position.x, 200.0f);
    EXPECT_TRUE(capture_->contains("Lamp: Got duplicate create message"));
    EXPECT_TRUE(capture_->contains("Mesh: Got duplicate create message"));
    EXPECT_TRUE(capture_->contains("Icon: Got duplicate create message"));
    EXPECT_EQ(client_->decoder().damaged_messages, 0);
    EXPECT_GT(renderer()->worlds_drawn(), 0);
    EXPECT_EQ(renderer()->last_view(), &client_->entities().camera.view);
}

TEST_F(SessionTest, HostileNamesAreRefused)
{
    start_session();
    server_->send_update(1, {make(9, 1, CREATE, [&](NetStreamOut& s) {
                                  enc_.sounds.write(s, "../secret");
                                  s.write_bits(0, 1);
                                  s.write_bits(0, 1);
                                  s.write_bits(0, 1);
                                  s.write_bits(0, 1);
                              }),
                              make(11, 2, CREATE, [&](NetStreamOut& s) {
                                  for (int i = 0; i < 4; ++i) {
                                      s.write_bits(20000, 16);
                                  }
                                  s.write_bits(1, 1);
                                  enc_.pictures.write(s, "a\\b");
                                  s.write_bits(0, 1);
                              })});
    server_->flush();
    frame();
    EXPECT_TRUE(capture_->contains("Client: Can't add sound '../secret'"));
    EXPECT_FALSE(sound_records().record(slot(sound_records(), 9, 1)).has_source);
    EXPECT_TRUE(capture_->contains("Net update: Can't update object"));
    EXPECT_EQ(client_->decoder().damaged_messages, 1);
}

TEST_F(SessionTest, ModeChangeKeepsTheMap)
{
    start_session();
    server_->send_update(1, every_class(enc_, 50.0f));
    server_->flush();
    frame();
    EXPECT_TRUE(renderer()->world_attached());
    run("V_Mode mem2 640 480");
    EXPECT_TRUE(renderer()->world_attached()) << "the new renderer has the map";
    EXPECT_EQ(renderer()->world(), &client_->world());
    EXPECT_TRUE(client_->map_active());
    check_every_class(50.0f);
    EXPECT_TRUE(client_->entities().started());
}

TEST_F(SessionTest, RecordedSessionReplaysToTheSameState)
{
    run("Record demo1");
    start_session();
    EXPECT_TRUE(capture_->contains("Client: Recording to 'demo1.vcr'"));
    std::vector<fake::Object> objects = every_class(enc_, 0.0f);
    for (uint32_t stamp = 1; stamp <= 30; ++stamp) {
        server_->send_update(stamp, stamp == 1 ? objects : std::vector<fake::Object>{[&] {
            fake::Object camera = make(10, 0, 0x1 | 0x2 | 0x10);
            camera.position[0] = static_cast<float>(stamp);
            camera.position[1] = -static_cast<float>(stamp) / 8.0f;
            camera.angles[1] = static_cast<float>(stamp) / 64.0f;
            return camera;
        }()});
        server_->flush();
        frame(CLIENT_TICK);
    }
    const CObjCommon live = *client_->camera();
    check_every_class(30.0f);
    run("Disconnect");

    // Played back as fast as three updates a frame.
    var("TimeDemo")->set_int(3);
    run("Connect vcr.demo1");
    int frames = 0;
    bool reached = false;
    while (client_->net_state() != CSTATE_DISCONNECTED && frames < 200) {
        frame(0.01);
        ++frames;
        if (!reached && client_->camera() != nullptr && client_->camera()->pose[0].position.x == 30.0f) {
            reached = true;
            check_every_class(30.0f);
            EXPECT_EQ(std::memcmp(client_->camera(), &live, sizeof live), 0) << "the same record, bit for bit";
        }
    }
    EXPECT_TRUE(reached);
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED) << "the recording ended";
    EXPECT_TRUE(capture_->contains("TimeDemo: 10 frames in 0.10 seconds (100.00 FPS)"));
}

TEST_F(SessionTest, PlaybackFollowsTheRecordedPace)
{
    run("Record pace");
    start_session();
    for (uint32_t stamp = 1; stamp <= 40; ++stamp) {
        fake::Object camera = make(10, 0, stamp == 1 ? CREATE | 0x1 : 0x1);
        camera.position[0] = static_cast<float>(stamp);
        server_->send_update(stamp, {camera});
        server_->flush();
        frame(CLIENT_TICK);
    }
    run("Disconnect");
    run("Connect vcr.pace");
    // Without TimeDemo the updates come at the pace of their stamps.
    for (int i = 0; i < 10; ++i) {
        frame(CLIENT_TICK);
    }
    ASSERT_NE(client_->camera(), nullptr);
    const float x = client_->camera()->pose[0].position.x;
    EXPECT_GT(x, 5.0f);
    EXPECT_LT(x, 20.0f) << "not the whole recording at once";
    EXPECT_FALSE(capture_->contains("TimeDemo:"));
}

} // namespace
