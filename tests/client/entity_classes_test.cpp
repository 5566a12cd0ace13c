// The entity classes against updates written by the tests' own encoder (the
// fake server's, which shares nothing with the client's reading): field
// values, the cases of each class, and hostile input, over a map of two
// cells so that linking shows.
#include "client/entity_fields.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "fake_server.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "support/print_capture.h"
#include "support/screen_fixture.h"
#include "support/two_cell_map.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t CREATE = 0x2000 | 0x400;
constexpr uint32_t MORE = 0x2000;
constexpr uint32_t PLACE_X = 0x1;

fake::Object object(uint32_t cls, uint32_t index, uint32_t mask, std::function<void(NetStreamOut&)> part = nullptr,
                    float x = 0.0f)
{
    fake::Object o;
    o.object_class = cls;
    o.index = index;
    o.mask = mask;
    o.position[0] = x;
    o.class_part = std::move(part);
    return o;
}

void lamp_ref(NetStreamOut& s, uint32_t index, bool map_lamp)
{
    s.write_bits(0, 1);
    s.write_bits(index, 8);
    s.write_bits(0, 4);
    s.write_bits(map_lamp ? 1 : 0, 1);
}

// A light's create: its lamp, then a range of n / 16, no kind.
std::function<void(NetStreamOut&)> light_part(uint32_t lamp, bool map_lamp, uint32_t range)
{
    return [=](NetStreamOut& s) {
        lamp_ref(s, lamp, map_lamp);
        s.write_bits(1, 1);
        s.write_bits(range, 8);
        s.write_bits(0, 1);
    };
}

// A dynamic lamp's create with nothing but defaults.
void bare_lamp(NetStreamOut& s)
{
    s.write_bits(0, 1);
    s.write_bits(0, 1);
    s.write_bits(0, 1);
}

// An emitter's whole state of 650 bits: n x 16 particles, mode, no fade,
// an emitter at the origin, white, spawn of `spawn` x 16 with lives of `life` x 8 ticks.
void emitter_state(NetStreamOut& s, uint32_t n, uint32_t mode, uint32_t spawn, uint32_t life)
{
    s.write_bits(n, 8);
    s.write_bits(mode, 3);
    for (int i = 0; i < 3; ++i) {
        s.write_float(1.0f);
    }
    s.write_bits(0, 1);
    for (int i = 0; i < 15; ++i) {
        s.write_float(0.0f);
    }
    s.write_bits(0xFFF, 12);
    s.write_bits(0xFFF, 12);
    s.write_bits(spawn, 8);
    for (uint32_t v : {life, life, life, 0u, 0u}) {
        s.write_bits(v, 6);
    }
}

class EntityClassesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvar_list = &variables_;
        sine_table = &sines_;
        ASSERT_EQ(sines_.init(4096), 1);
        random_table = &randoms_;
        ASSERT_EQ(randoms_.init(1024), 1);
        capture_.show_all();
        map_ = make_two_cell_map();
        ASSERT_NE(map_, nullptr);
        decoder_ = std::make_unique<UpdateDecoder>();
        SharedMap* const m = map_.get();
        ASSERT_EQ(models_.create(m), 1);
        ASSERT_EQ(map_lamps_.create(40, 0), 1);
        ASSERT_EQ(lamps_.create(DYNAMIC_LAMPS, 1), 1);
        ASSERT_EQ(lights_.create(&map_lamps_, &lamps_, m, DYNAMIC_LIGHTS), 1);
        ASSERT_EQ(flares_.create(&map_lamps_, &lamps_, m, LENS_FLARES), 1);
        ASSERT_EQ(textures_.create(SPRITE_TEXTURES), 1);
        ASSERT_EQ(sprites_.create(&textures_, m, SPRITES), 1);
        ASSERT_EQ(mesh_models_.create(MESH_MODELS), 1);
        ASSERT_EQ(meshes_.create(&mesh_models_, m, MESH_OBJECTS), 1);
        ASSERT_EQ(emitters_.create(m, PARTICLE_EMITTERS), 1);
        ASSERT_EQ(camera_.create(1), 1);
        ASSERT_EQ(icons_.create(ICONS, ICON_PICTURES), 1);
        CObjManager* const classes[] = {nullptr,  &map_lamps_, &lamps_,     &lights_, &flares_, &meshes_,
                                        &sprites_, &models_,   &emitters_, nullptr,  &camera_, &icons_};
        for (int c = 1; c < 12; ++c) {
            decoder_->register_class(c, classes[c]);
        }
    }
    void TearDown() override
    {
        icons_.destroy();
        emitters_.destroy();
        meshes_.destroy();
        sprites_.destroy();
        flares_.destroy();
        lights_.destroy();
        lamps_.destroy();
        map_lamps_.destroy();
        models_.destroy();
        decoder_.reset();
        random_table = nullptr;
        sine_table = nullptr;
        cvar_list = nullptr;
    }

    UpdateResult send(const std::vector<fake::Object>& objects)
    {
        int32_t bits = 0;
        std::vector<uint8_t> bytes = fake::Server::update_payload(++stamp_, objects, bits);
        NetStreamIn in;
        in.attach(bytes.data(), bits);
        const UpdateResult r = decoder_->net_update(in);
        in.detach();
        return r;
    }
    template <typename M>
    static int slot(M& m, uint32_t cls, uint32_t index)
    {
        return m.find(make_object_id(cls, 0, index));
    }
    int in_cell(int cell, int type) const { return entities_in_cell(*map_, cell, type); }

    ConfigVariableList variables_;
    SineTable sines_;
    RandomTable randoms_;
    PrintCapture capture_;
    std::unique_ptr<SharedMap> map_;
    std::unique_ptr<UpdateDecoder> decoder_;
    uint32_t stamp_ = 0;
    fake::NameCache mesh_names_{5};
    fake::NameCache sprite_names_{6};
    fake::NameCache pictures_{6};
    uint32_t next_block_ = 0;

    WorldModelManager models_;
    LampTable map_lamps_;
    LampTable lamps_;
    Lamp lights_;
    LampSprite flares_;
    TextureManager textures_;
    SpriteObject sprites_;
    MeshOwner mesh_models_;
    Mesh meshes_;
    ParticleEmitter emitters_;
    Camera camera_;
    Icon icons_;
};

TEST(EntityFields, ColoursWiden)
{
    struct Case {
        const char* name;
        uint32_t bits;
        int width;
        uint32_t (*read)(NetStreamIn&);
        uint32_t expected;
    };
    const Case cases[] = {
        {"6-bit 63 is 0xFF", 63, 18, [](NetStreamIn& s) { return read_colour6(s, 3); }, 0x0000FFu},
        {"6-bit 1 is 0x04", 1, 18, [](NetStreamIn& s) { return read_colour6(s, 3); }, 0x000004u},
        {"6-bit 32 is 0x82", 32 | 63 << 6 | 1 << 12, 18, [](NetStreamIn& s) { return read_colour6(s, 3); },
         0x04FF82u},
        {"four 6-bit channels fill byte 3", 63u << 18, 24, [](NetStreamIn& s) { return read_colour6(s, 4); },
         0xFF000000u},
        {"12-bit 0xF80: channels in the order sent", 0xF80, 12, read_colour12, 0x00FF8800u},
        {"a nibble F is 0xFF", 0x00F, 12, read_colour12, 0x0000FFu},
    };
    for (const Case& c : cases) {
        uint8_t buffer[8] = {};
        NetStreamOut out;
        out.attach(buffer, sizeof buffer);
        out.write_bits(c.bits, c.width);
        const int32_t bits = out.detach();
        NetStreamIn in;
        in.attach(buffer, bits);
        EXPECT_EQ(c.read(in), c.expected) << c.name;
        in.detach();
    }
}

TEST_F(EntityClassesTest, MapLampsKeepTheirRecords)
{
    for (int i = 0; i < 40; ++i) {
        ASSERT_NE(map_lamps_.lamp(i), nullptr) << "every record before any update, slot " << i;
    }
    LampData* const seven = map_lamps_.lamp(7);
    ASSERT_EQ(send({object(1, 7, CREATE, [](NetStreamOut& s) {
                  s.write_bits(1, 1);
                  s.write_bits(21, 6);
                  s.write_bits(1, 1);
                  for (uint32_t c : {63u, 1u, 32u}) {
                      s.write_bits(c, 6);
                  }
                  s.write_bits(1, 1);
                  s.write_bits(1, 4);
                  for (uint32_t n : {64u, 16u, 32u, 8u}) {
                      s.write_bits(n, 8);
                  }
              })}),
              UpdateResult::applied);
    EXPECT_FLOAT_EQ(seven->intensity, 21.0f / 63.0f);
    EXPECT_EQ(seven->colour, 0x8204FFu);
    EXPECT_EQ(seven->lamp_type, 1);
    EXPECT_EQ(seven->speed, 1.0f) << "the third focus value, 32 / 32";
    ASSERT_EQ(send({fake::removal(1, 7)}), UpdateResult::applied);
    EXPECT_EQ(map_lamps_.lamp(7), seven) << "a map lamp's record stays";
    ASSERT_EQ(send({object(1, 7, CREATE, bare_lamp)}), UpdateResult::applied);
    EXPECT_EQ(seven->intensity, 1.0f) << "a new link resets it";
    EXPECT_EQ(seven->colour, 0xFFFFFFu);
    EXPECT_EQ(seven->lamp_type, 0);
    EXPECT_EQ(send({object(1, 40, CREATE, bare_lamp)}), UpdateResult::ended) << "beyond the map's lamps";
}

TEST_F(EntityClassesTest, DynamicLampsFillTheirTable)
{
    std::vector<fake::Object> objects;
    for (uint32_t i = 0; i < 32; ++i) {
        objects.push_back(object(2, i, CREATE, bare_lamp));
    }
    ASSERT_EQ(send(objects), UpdateResult::applied);
    EXPECT_EQ(send({object(2, 32, CREATE, bare_lamp)}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Can't allocate new common object")) << "the 33rd finds no slot";
    ASSERT_EQ(send({fake::removal(2, 3)}), UpdateResult::applied);
    EXPECT_EQ(lamps_.lamp(slot(lamps_, 2, 4)) != nullptr, true);
    EXPECT_EQ(send({object(2, 32, CREATE, bare_lamp)}), UpdateResult::applied) << "a freed slot serves again";
}

TEST_F(EntityClassesTest, LightsFollowTheirLampAndRange)
{
    ASSERT_EQ(send({object(2, 5, CREATE, bare_lamp), object(1, 2, CREATE, bare_lamp)}), UpdateResult::applied);
    LampData* const lamp = lamps_.lamp(slot(lamps_, 2, 5));
    ASSERT_EQ(send({object(3, 1, CREATE | PLACE_X, light_part(5, false, 8), 60.0f)}), UpdateResult::applied);
    const int l = slot(lights_, 3, 1);
    const LightSource& light = lights_.record(l);
    EXPECT_EQ(light.lamp, lamp);
    EXPECT_EQ(light.reach, 50.0f) << "a range of 8 / 16, in hundreds";
    EXPECT_EQ(light.light_position.x, 60.0f);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_LAMP_LIGHT), 1);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_LAMP_LIGHT), 0) << "60 units right of the plane, 50 wide";

    // A new range alone relinks: 80 / 16 gives a radius of 500, across the plane.
    ASSERT_EQ(send({object(3, 1, 0, [](NetStreamOut& s) {
                  s.write_bits(1, 1);
                  s.write_bits(80, 8);
              })}),
              UpdateResult::applied);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_LAMP_LIGHT), 1) << "relinked without a placement";

    struct Case {
        const char* name;
        uint32_t lamp;
        bool map_lamp;
        const char* line;
    };
    const Case cases[] = {
        {"the same lamp again", 5, false, "Lamp: Got duplicate create message"},
        {"another lamp", 2, true, "Lamp: Create message names another lamp"},
    };
    for (const Case& c : cases) {
        capture_.clear();
        ASSERT_EQ(send({object(3, 1, CREATE, light_part(c.lamp, c.map_lamp, 80))}), UpdateResult::applied) << c.name;
        EXPECT_TRUE(capture_.contains(c.line)) << c.name;
        EXPECT_EQ(capture_.count("Lamp: Got duplicate create message"), 1) << c.name;
        EXPECT_EQ(light.lamp, lamp) << c.name << ": the light keeps its lamp";
    }

    // A light whose lamp is unknown lights nothing until it has one.
    capture_.clear();
    ASSERT_EQ(send({object(3, 2, CREATE, light_part(9, false, 16))}), UpdateResult::applied);
    EXPECT_TRUE(capture_.contains("Lamp: Unknown lamp 0x200009"));
    EXPECT_EQ(lights_.record(slot(lights_, 3, 2)).lamp, nullptr);
    EXPECT_EQ(lights_.record(slot(lights_, 3, 2)).linked_leaves, 0);

    // The lamp goes: the light forgets it and leaves the cells.
    ASSERT_EQ(send({fake::removal(2, 5)}), UpdateResult::applied);
    EXPECT_EQ(light.lamp, nullptr);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_LAMP_LIGHT) + in_cell(1, ENTITY_TYPE_LAMP_LIGHT), 0);
    ASSERT_EQ(send({fake::removal(3, 1)}), UpdateResult::applied);
    EXPECT_EQ(slot(lights_, 3, 1), -1);
}

TEST_F(EntityClassesTest, LensFlares)
{
    ASSERT_EQ(send({object(1, 3, CREATE, bare_lamp)}), UpdateResult::applied);
    const auto flare_part = [](bool no_lamp, uint32_t size) {
        return [=](NetStreamOut& s) {
            s.write_bits(1, 1);
            s.write_bits(24, 6);
            s.write_bits(1, 1);
            for (auto [value, bits] : std::initializer_list<std::pair<uint32_t, int>>{
                     {15, 4}, {8, 5}, {3, 4}, {4, 5}, {5, 4}, {15, 4}, {4, 5}, {15, 4}, {24, 5}, {5, 4}, {31, 5}}) {
                s.write_bits(value, bits);
            }
            s.write_bits(1, 1);
            s.write_bits(0xF80, 12);
            s.write_bits(1, 1);
            s.write_bits(no_lamp ? 1 : 0, 1);
            if (!no_lamp) {
                lamp_ref(s, 3, true);
            }
            s.write_bits(size, 8);
        };
    };
    ASSERT_EQ(send({object(4, 6, CREATE | PLACE_X, flare_part(false, 3), -20.0f)}), UpdateResult::applied);
    const LampSpriteRender& flare = flares_.record(slot(flares_, 4, 6));
    EXPECT_EQ(flare.scale, 1.5f);
    EXPECT_EQ(flare.level, 3) << "x2 of 15 / 15, four levels";
    EXPECT_EQ(flare.glow_radius, 16.0f) << "y3 of 4 / 8, times 32";
    EXPECT_EQ(flare.colour, 0x00FF8800u);
    EXPECT_EQ(flare.lamp, map_lamps_.lamp(3));
    EXPECT_EQ(flare.near, 96.0f);
    EXPECT_EQ(flare.position.x, -20.0f);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_GLOW), 1);

    ASSERT_EQ(send({object(4, 6, MORE, flare_part(true, 1))}), UpdateResult::applied);
    EXPECT_EQ(flare.lamp, nullptr) << "the no-lamp flag clears the lamp";
    EXPECT_EQ(flare.near, 32.0f) << "and the size is still read";

    ASSERT_EQ(send({fake::removal(4, 6)}), UpdateResult::applied);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_GLOW), 0);
}

TEST_F(EntityClassesTest, MeshModelsByName)
{
    const auto mesh_part = [this](const std::string& name) {
        return [this, name](NetStreamOut& s) {
            mesh_names_.write(s, name);
            s.write_bits(1, 1);
            s.write_bits(2, 8);
            s.write_bits(3, 8);
            s.write_bits(4, 4);
            s.write_bits(0, 1);
            s.write_bits(0, 1);
        };
    };
    struct Case {
        const char* name;
        const char* directory;
        const char* model;
    };
    const Case cases[] = {{"trees/oak", "trees", "oak"}, {"trees\\oak", "trees", "oak"}, {"oak", "", "oak"}};
    uint32_t index = 1;
    for (const Case& c : cases) {
        ASSERT_EQ(send({object(5, index, CREATE, mesh_part(c.name))}), UpdateResult::applied) << c.name;
        const MeshModel* const row = meshes_.model(slot(meshes_, 5, index));
        ASSERT_NE(row, nullptr) << c.name;
        EXPECT_STREQ(row->resource, c.directory) << c.name;
        EXPECT_STREQ(row->name, c.model) << c.name;
        ++index;
    }
    EXPECT_EQ(meshes_.model(slot(meshes_, 5, 1)), meshes_.model(slot(meshes_, 5, 2))) << "one row for both";
    EXPECT_EQ(mesh_models_.count(), 2);
    const MeshObject& first = meshes_.record(slot(meshes_, 5, 1));
    EXPECT_EQ(first.pose[0].frame1, 2);
    EXPECT_EQ(first.pose[0].frame2, 3);
    EXPECT_EQ(first.pose[0].t, 0.25f);
    EXPECT_EQ(first.owner, nullptr) << "no renderer bound: attached when one starts";

    // Fill the table; the 65th name finds no row, a known one still does.
    for (int i = 2; i < MESH_MODELS; ++i) {
        ASSERT_EQ(send({object(5, 100 + i, CREATE, mesh_part("m" + std::to_string(i)))}), UpdateResult::applied);
    }
    EXPECT_EQ(mesh_models_.count(), MESH_MODELS);
    ASSERT_EQ(send({object(5, 200, CREATE, mesh_part("extra"))}), UpdateResult::applied);
    EXPECT_TRUE(capture_.contains("Mesh: Too many models loaded"));
    EXPECT_EQ(meshes_.model(slot(meshes_, 5, 200)), nullptr) << "working, without a model";
    ASSERT_EQ(send({object(5, 201, CREATE, mesh_part("trees/oak"))}), UpdateResult::applied);
    EXPECT_EQ(meshes_.model(slot(meshes_, 5, 201)), meshes_.model(slot(meshes_, 5, 1)));

    // A second create of a mesh with a model: the message, and the rest applies.
    capture_.clear();
    ASSERT_EQ(send({object(5, 1, CREATE | PLACE_X, mesh_part("oak"), -30.0f)}), UpdateResult::applied);
    EXPECT_TRUE(capture_.contains("Mesh: Got duplicate create message"));
    EXPECT_EQ(meshes_.model(slot(meshes_, 5, 1))->resource[0], 't') << "the model stays";
    EXPECT_EQ(first.position.x, -30.0f);
    EXPECT_GT(in_cell(1, ENTITY_TYPE_MESH), 0);

    // Names that would leave the models directory give no model.
    ASSERT_EQ(send({object(5, 202, CREATE, mesh_part("../oak"))}), UpdateResult::applied);
    EXPECT_EQ(meshes_.model(slot(meshes_, 5, 202)), nullptr);
}

TEST_F(EntityClassesTest, SpritesKeepTheirFirstTexture)
{
    const auto sprite_part = [this](const std::string& name) {
        return [this, name](NetStreamOut& s) { sprite_names_.write(s, name); };
    };
    ASSERT_EQ(send({object(6, 4, CREATE | PLACE_X, sprite_part("spark"), 10.0f)}), UpdateResult::applied);
    TextureSlot* const spark = sprites_.texture(slot(sprites_, 6, 4));
    ASSERT_NE(spark, nullptr);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_SPRITE), 1);
    ASSERT_EQ(send({object(6, 4, CREATE, sprite_part("smoke"))}), UpdateResult::applied);
    EXPECT_EQ(sprites_.texture(slot(sprites_, 6, 4)), spark) << "another name keeps the first texture";
    ASSERT_EQ(send({object(6, 5, CREATE, sprite_part("spark"))}), UpdateResult::applied);
    EXPECT_EQ(sprites_.texture(slot(sprites_, 6, 5)), spark) << "the name again by index";
    ASSERT_EQ(send({fake::removal(6, 4)}), UpdateResult::applied);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_SPRITE), 1) << "the other sprite stays";
}

TEST_F(EntityClassesTest, BspModelsArePlaced)
{
    ASSERT_EQ(send({object(7, 2, CREATE | PLACE_X, nullptr, -64.0f)}), UpdateResult::applied);
    EXPECT_EQ(map_->models.entity(2).position.x, -64.0f);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_MODEL), 1);
    ASSERT_EQ(send({object(7, 2, PLACE_X, nullptr, 64.0f)}), UpdateResult::applied);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_MODEL), 1);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_MODEL), 0);
    ASSERT_EQ(send({fake::removal(7, 2)}), UpdateResult::applied);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_MODEL), 0);
    EXPECT_EQ(send({object(7, 4, CREATE)}), UpdateResult::ended) << "the map has four models";

    // A model reaches as far as its polygons: 20 right of the plane, a quad
    // 30 wide on each side of its origin crosses it.
    Vector corners[4] = {{-30.0f, 0.0f, 0.0f}, {30.0f, 0.0f, 0.0f}, {30.0f, 0.0f, 10.0f}, {-30.0f, 0.0f, 10.0f}};
    Vector* const pointers[4] = {&corners[0], &corners[1], &corners[2], &corners[3]};
    MapPolygon quad;
    quad.vertices = pointers;
    quad.vertex_count = 4;
    map_->models.entity(3).set_polygons(&quad, 1);
    ASSERT_EQ(send({object(7, 3, CREATE | PLACE_X, nullptr, 20.0f)}), UpdateResult::applied);
    EXPECT_GT(map_->models.entity(3).radius, 30.0f);
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_MODEL), 1);
    EXPECT_EQ(in_cell(1, ENTITY_TYPE_MODEL), 1) << "linked across the plane";
    ASSERT_EQ(send({fake::removal(7, 3)}), UpdateResult::applied);
    map_->models.entity(3).set_polygons(nullptr, 0);
}

TEST_F(EntityClassesTest, RemovedEmittersDrawUntilTheirParticlesDie)
{
    const auto create = [this](uint32_t n, uint32_t mode) {
        return [this, n, mode](NetStreamOut& s) {
            s.write_bits(1, 1);
            s.write_bits(next_block_++ % 64, 6);
            emitter_state(s, n, mode, n, 2); // lives of 16 ticks
        };
    };
    ASSERT_EQ(send({object(8, 9, CREATE, create(2, 0))}), UpdateResult::applied);
    const int e = slot(emitters_, 8, 9);
    ParticleRender& system = emitters_.record(e);
    EXPECT_EQ(system.pool_size(), 32);
    EXPECT_TRUE(system.is_alive());
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_SPRITE) + in_cell(1, ENTITY_TYPE_SPRITE), 2) << "radius 256 across the plane";

    // The same count again does not reallocate.
    const Particle* const pool = system.particles;
    ASSERT_EQ(send({object(8, 9, CREATE, create(2, 0))}), UpdateResult::applied);
    EXPECT_EQ(system.particles, pool);

    // Every presence flag 0: only the placement changes.
    ASSERT_EQ(send({object(8, 9, MORE | PLACE_X,
                            [](NetStreamOut& s) {
                                for (int i = 0; i < 5; ++i) {
                                    s.write_bits(0, 1);
                                }
                            },
                            40.0f)}),
              UpdateResult::applied);
    EXPECT_EQ(system.position.x, 40.0f);
    EXPECT_EQ(system.intensity_base, 1.0f);
    EXPECT_EQ(system.pool_size(), 32);

    // Removed: it keeps its slot and its links while particles live.
    ASSERT_EQ(send({fake::removal(8, 9)}), UpdateResult::applied);
    ASSERT_EQ(slot(emitters_, 8, 9), e);
    EXPECT_NE(emitters_.common(e).state & COBJ_REMOVED, 0u);
    EXPECT_TRUE(system.is_alive());
    EXPECT_EQ(emitters_.first_alive(), e);
    EXPECT_EQ(emitters_.next_alive(), -1);
    EXPECT_EQ(send({object(8, 9, MORE, [](NetStreamOut& s) { s.write_bits(0, 1); })}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Update received for released object"));
    EXPECT_GT(in_cell(0, ENTITY_TYPE_SPRITE), 0);

    for (int i = 0; i < 100 && emitters_.find(make_object_id(8, 0, 9)) >= 0; ++i) {
        emitters_.simulate(1);
    }
    EXPECT_EQ(slot(emitters_, 8, 9), -1) << "the sweep frees it once no particle is left";
    EXPECT_EQ(in_cell(0, ENTITY_TYPE_SPRITE) + in_cell(1, ENTITY_TYPE_SPRITE), 0);

    // A create for a removed emitter's identifier ends it at once.
    ASSERT_EQ(send({object(8, 10, CREATE, create(1, 1))}), UpdateResult::applied);
    ASSERT_EQ(send({fake::removal(8, 10)}), UpdateResult::applied);
    ASSERT_EQ(send({object(8, 10, CREATE, create(3, 0))}), UpdateResult::applied);
    const int again = slot(emitters_, 8, 10);
    ASSERT_GE(again, 0);
    EXPECT_EQ(emitters_.common(again).state & COBJ_REMOVED, 0u);
    EXPECT_EQ(emitters_.record(again).pool_size(), 48) << "a new emitter";
}

TEST_F(EntityClassesTest, CameraView)
{
    fake::Object first = object(10, 0, CREATE | PLACE_X, [](NetStreamOut& s) {
        s.write_bits(1, 1);
        for (uint32_t c : {63u, 32u, 0u, 1u}) {
            s.write_bits(c, 6);
        }
        s.write_bits(1, 1);
        s.write_bits(128, 10);
        s.write_bits(64, 10);
    }, 5.0f);
    ASSERT_EQ(send({first}), UpdateResult::applied);
    EXPECT_EQ(camera_.tint(), 0x040082FFu);
    EXPECT_EQ(camera_.view.half_x, 0.5f);
    EXPECT_EQ(camera_.view.half_y, 0.25f);
    const Matrix before = camera_.view.view;
    ASSERT_EQ(send({object(10, 0, PLACE_X, nullptr, 25.0f)}), UpdateResult::applied);
    EXPECT_NE(std::memcmp(camera_.view.view.m, before.m, sizeof before.m), 0) << "the view moved";
    EXPECT_EQ(camera_.tint(), 0x040082FFu) << "without the extended bit tint and extents stay";
    EXPECT_EQ(camera_.view.half_y, 0.25f);
    ASSERT_EQ(send({fake::removal(10, 0)}), UpdateResult::applied);
    EXPECT_EQ(camera_.view.half_y, 0.25f) << "the view outlives the object";
}

TEST_F(EntityClassesTest, IconsWithoutAScreen)
{
    const auto icon_part = [this](uint32_t x, const char* picture) {
        return [this, x, picture](NetStreamOut& s) {
            s.write_bits(x, 16);
            s.write_bits(23168, 16);
            s.write_bits(19968 + 100, 16);
            s.write_bits(23168 + 100, 16);
            s.write_bits(picture != nullptr ? 1 : 0, 1);
            if (picture != nullptr) {
                pictures_.write(s, picture);
            }
            s.write_bits(1, 1);
            s.write_bits(19968 + 50, 16);
        };
    };
    struct Case {
        const char* name;
        uint32_t field;
        int32_t x;
    };
    const Case cases[] = {{"19968 is the left edge", 19968, 0}, {"45568 is the right edge", 45568, 25600}};
    uint32_t index = 1;
    for (const Case& c : cases) {
        ASSERT_EQ(send({object(11, index, CREATE, icon_part(c.field, "health"))}), UpdateResult::applied) << c.name;
        const IconHandle& h = icons_.handle(slot(icons_, 11, index));
        EXPECT_EQ(h.x, c.x) << c.name;
        EXPECT_EQ(h.y, 0) << c.name;
        EXPECT_EQ(h.width, 100) << c.name;
        EXPECT_EQ(h.extent, 50) << c.name;
        EXPECT_EQ(h.id, -1) << c.name << ": not shown without a screen";
        ++index;
    }
    // Removed while never shown: nothing to take off the screen, no assertion.
    EXPECT_EQ(send({fake::removal(11, 1)}), UpdateResult::applied);
    // A picture name that would leave the pictures directory ends the message.
    EXPECT_EQ(send({object(11, 3, CREATE, icon_part(19968, "../x"))}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Can't update object"));
}

// Icons on a real screen manager.
class IconScreenTest : public ScreenBase {
protected:
    void SetUp() override
    {
        ScreenBase::SetUp();
        capture_.show_all();
        ASSERT_EQ(screen_.init(&mode_, "backgrnd", "loading", "small.fnt"), 1);
        decoder_ = std::make_unique<UpdateDecoder>();
        ASSERT_EQ(icons_.create(ICONS, ICON_PICTURES), 1);
        decoder_->register_class(11, &icons_);
    }
    void TearDown() override
    {
        icons_.destroy();
        decoder_.reset();
        screen_.shutdown();
        ScreenBase::TearDown();
    }
    UpdateResult send(const std::vector<fake::Object>& objects)
    {
        int32_t bits = 0;
        std::vector<uint8_t> bytes = fake::Server::update_payload(++stamp_, objects, bits);
        NetStreamIn in;
        in.attach(bytes.data(), bits);
        const UpdateResult r = decoder_->net_update(in);
        in.detach();
        return r;
    }
    std::function<void(NetStreamOut&)> icon_part(const char* picture)
    {
        return [this, picture](NetStreamOut& s) {
            s.write_bits(19968, 16);
            s.write_bits(23168, 16);
            s.write_bits(19968 + 12800, 16);
            s.write_bits(23168 + 9600, 16);
            s.write_bits(1, 1);
            pictures_.write(s, picture);
            s.write_bits(1, 1);
            s.write_bits(19968 + 6400, 16);
        };
    }

    PrintCapture capture_;
    MemoryVideoMode mode_{320, 240};
    ScreenManager screen_;
    std::unique_ptr<UpdateDecoder> decoder_;
    Icon icons_;
    fake::NameCache pictures_{6};
    uint32_t stamp_ = 0;
};

TEST_F(IconScreenTest, IconsShowWhileAScreenIsBound)
{
    ASSERT_EQ(send({object(11, 1, CREATE, icon_part("health"))}), UpdateResult::applied);
    IconHandle& early = icons_.handle(icons_.find(make_object_id(11, 0, 1)));
    EXPECT_EQ(early.id, -1);
    icons_.start(&screen_);
    ASSERT_GE(early.id, 0) << "received before the screen, shown when it is bound";
    EXPECT_TRUE(screen_.icon_active(early.id));
    EXPECT_EQ(screen_.icon(early.id).image, early.owner);
    EXPECT_STREQ(early.owner->name(), "health");

    ASSERT_EQ(send({object(11, 2, CREATE, icon_part("health"))}), UpdateResult::applied);
    const IconHandle& late = icons_.handle(icons_.find(make_object_id(11, 0, 2)));
    EXPECT_GE(late.id, 0) << "shown at once";
    EXPECT_EQ(late.owner, early.owner) << "one picture for both";

    capture_.clear();
    ASSERT_EQ(send({object(11, 2, CREATE, icon_part("health"))}), UpdateResult::applied);
    EXPECT_TRUE(capture_.contains("Icon: Got duplicate create message"));

    const int id = early.id;
    ASSERT_EQ(send({fake::removal(11, 1)}), UpdateResult::applied);
    EXPECT_FALSE(screen_.icon_active(id)) << "removal takes it off the screen";

    icons_.stop();
    EXPECT_EQ(late.id, -1) << "stop hides every icon";
    ASSERT_EQ(send({fake::removal(11, 2)}), UpdateResult::applied) << "removal of a hidden icon";
}

} // namespace
