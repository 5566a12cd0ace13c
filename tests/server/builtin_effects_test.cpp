// Particle, lamp, light, lens flare, sound and icon builtins called from
// scripts: each value reaches its field in argument order, on the server and
// in what a client decodes; bad ids from scripts end the program.
#include "builtin_fixture.h"
#include "class_fixture.h"

#include "script/kio.h"
#include "server/builtin_object.h"
#include "server/object_id.h"

#include <limits>

namespace {

const std::string& effects_program()
{
    static const std::string text = forwarding_program(
        {
            {"particles", "create_particles", 1},
            {"particle_color", "set_particle_color", 3},
            {"particle_size", "set_particle_size", 3},
            {"particle_shrink", "set_particle_shrink", 2},
            {"particle_lifetime", "set_particle_lifetime", 2},
            {"particle_flags", "set_particle_flags", 2},
            {"particle_acceleration", "set_particle_acceleration", 4},
            {"spawn_box", "particle_spawn_box", 13},
            {"spawn_sphere", "particle_spawn_sphere", 9},
            {"particle_start", "particle_start", 6},
            {"lamp", "create_lamp", 0},
            {"register_lamp", "register_lamp", 1},
            {"destroy_lamp", "destroy_lamp", 1},
            {"lamp_color", "set_lamp_color", 2},
            {"lamp_value", "set_lamp_value", 2},
            {"lamp_effect", "set_lamp_effect", 6},
            {"light", "create_light", 1},
            {"light_intensity", "set_light_intensity", 2},
            {"light_max", "set_light_max", 2},
            {"light_focus", "set_light_focus", 2},
            {"flare", "create_lensflare", 0},
            {"flare_lamp", "set_lensflare_lamp", 2},
            {"flare_color", "set_lensflare_color", 2},
            {"flare_intensity", "set_lensflare_intensity", 2},
            {"flare_limit", "set_lensflare_limit", 2},
            {"flare_star", "set_lensflare_star", 6},
            {"flare_effects", "set_lensflare_effects", 7},
            {"sound", "create_sound", 2},
            {"sound_attenuation", "set_sound_attenuation", 5},
            {"sound_frequency", "set_sound_frequency", 2},
            {"icon", "create_icon", 4},
            {"destroy_icon", "destroy_icon", 1},
            {"icon_name", "set_icon_name", 2},
            {"icon_clip", "set_icon_clip", 2},
        },
        ".global hum, health\n.data\nhum: .string \"hum\"\nhealth: .string \"health\"\n");
    return text;
}

int32_t index_of(int32_t id) { return object_index_of(static_cast<uint32_t>(id)); }

class EffectBuiltins : public ClassFixture {
protected:
    std::string scripts() const override { return effects_program(); }

    uint32_t address(const char* name) const { return labels_address_of(server.k_context->labels, name); }
    // Runs the script function: the first result cell.
    int32_t call(const char* function, const std::vector<uint32_t>& args = {})
    {
        EXPECT_TRUE(call_address(server.k_context, address(function), args)) << function;
        return static_cast<int32_t>(server.k_context->result[0]);
    }
    // A new object of the class, placed where the player's camera sees it.
    int32_t made(int object_class, const char* function, const std::vector<uint32_t>& args = {})
    {
        const int32_t id = call(function, args);
        EXPECT_GE(id, 0) << function;
        EXPECT_EQ(object_class_of(u(id)), object_class) << function;
        if (id >= 0) {
            server.mirror.set_position(id, Vector{120.0f, 120.0f, 64.0f});
        }
        return id;
    }
};

TEST_F(EffectBuiltins, ParticleBuiltinsFillTheDescriptionInArgumentOrder)
{
    const int32_t id = made(OBJCLASS_PARTICLE, "particles", {1000});
    call("particle_color", {u(id), 0x00A0B0C0, 0x00102030});
    call("particle_size", {u(id), cell(1.5f), cell(2.5f)});
    call("particle_shrink", {u(id), cell(0.25f)});
    call("particle_lifetime", {u(id), cell(2.0f)});
    call("particle_flags", {u(id), 5});
    call("particle_acceleration", {u(id), cell(1), cell(2), cell(-3)});
    call("spawn_sphere", {u(id), cell(1), cell(2), cell(3), cell(4), cell(5), cell(6), cell(7), cell(8)});
    call("particle_start", {u(id), 64, cell(0.5f), cell(1.0f), cell(1.5f), cell(2.0f)});
    sync();
    const ObjectView* v = view(id);
    ASSERT_NE(v, nullptr);
    const fake_client::ParticleParts& p = v->state.particle;
    EXPECT_EQ(p.count, 62u) << "1000 in units of 16";
    EXPECT_EQ(p.colour, (std::array<uint32_t, 2>{0xABC, 0x123}));
    EXPECT_EQ(p.size, (std::array<float, 3>{1.5f, 2.5f, 0.25f}));
    EXPECT_EQ(p.flags, 5u);
    ASSERT_TRUE(p.spawn);
    EXPECT_TRUE(p.spawn->sphere);
    EXPECT_EQ(p.spawn->spawn, (std::array<float, 12>{1, 2, 3, 4, 4, 4, 5, 6, 7, 8, 8, 8}));
    EXPECT_EQ(p.spawn->acceleration, (std::array<float, 3>{1, 2, -3}));
    // The burst count, the lifetime, the four timings, in units of 8 ticks.
    EXPECT_EQ(p.timing, (std::array<uint32_t, 6>{4, 17, 4, 8, 13, 17}));

    call("spawn_box", {u(id), cell(1), cell(2), cell(3), cell(4), cell(5), cell(6), cell(7), cell(8), cell(9),
                       cell(10), cell(11), cell(12)});
    sync();
    ASSERT_TRUE(view(id)->state.particle.spawn);
    EXPECT_FALSE(view(id)->state.particle.spawn->sphere);
    EXPECT_EQ(view(id)->state.particle.spawn->spawn,
              (std::array<float, 12>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_TRUE(player.errors.empty()) << player.errors.front();
}

TEST_F(EffectBuiltins, ParticleCountsAndLifetimesAreCappedWithAWarning)
{
    struct Case {
        const char* name;
        int32_t count;
        float lifetime;
        uint8_t want_count, want_lifetime;
        const char* warning;
    };
    const Case cases[] = {
        {"4095 is 255 sixteens", 4095, 1.0f, 255, 8, nullptr},
        {"4096 is too many", 4096, 1.0f, 255, 8, "Server: Can't create more than 4096 particles"},
        {"15 rounds down to none", 15, 0.0f, 0, 0, nullptr},
        {"7.25 s is 507 ticks", 16, 7.25f, 1, 63, nullptr},
        {"7.4 s is 518 ticks", 16, 7.4f, 1, 63, "Server: Particle lifetime too long (max 512 ticks)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        const int32_t id = made(OBJCLASS_PARTICLE, "particles", {u(k.count)});
        call("particle_lifetime", {u(id), cell(k.lifetime)});
        const SParticles& p = server.particles.particles(index_of(id));
        EXPECT_EQ(p.count, k.want_count);
        EXPECT_EQ(p.lifetime, k.want_lifetime);
        EXPECT_EQ(capture.count("Server: "), k.warning != nullptr ? 1 : 0) << printed();
        if (k.warning != nullptr) {
            EXPECT_TRUE(capture.contains(k.warning)) << printed();
        }
    }
}

TEST_F(EffectBuiltins, LampBuiltinsSetIntensityColourAndEffect)
{
    const int32_t id = made(OBJCLASS_DYNALAMP, "lamp");
    const SLamp& lamp = server.dynamic_lamps.lamp(index_of(id));
    struct Value {
        float value;
        int32_t intensity;
    };
    for (const Value& k : {Value{1.0f, 63}, Value{0.999f, 62}, Value{-0.5f, 0}, Value{2.0f, 63}, Value{0.5f, 31}}) {
        SCOPED_TRACE(k.value);
        call("lamp_value", {u(id), cell(k.value)});
        EXPECT_EQ(lamp.intensity, k.intensity);
    }
    call("lamp_color", {u(id), 0xFFFFFF});
    EXPECT_EQ(lamp.colour_stamp, -1) << "six bits of white are the default";
    call("lamp_color", {u(id), 0x804020});
    EXPECT_EQ(lamp.colour, 0x201008u);
    call("lamp_effect", {u(id), 3, cell(1.0f), cell(2.0f), cell(0.5f), cell(7.99f)});
    EXPECT_EQ(lamp.effect, 3);
    EXPECT_EQ(std::vector<int32_t>(lamp.params, lamp.params + 4), (std::vector<int32_t>{32, 64, 16, 255}));
    sync();
    const ObjectView* v = view(id);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->state.lamp.intensity, 31u);
    EXPECT_EQ(v->state.lamp.colour, (std::array<uint32_t, 3>{0x08, 0x10, 0x20}));
    EXPECT_EQ(v->state.lamp.effect, (std::array<uint32_t, 5>{3, 32, 64, 16, 255}));
}

TEST_F(EffectBuiltins, MapLampsAreFoundByIndexUntilDestroyed)
{
    ASSERT_GT(server.map_lamps.max_objects, 0);
    const int32_t first = call("register_lamp", {0});
    EXPECT_EQ(u(first), object_id(OBJCLASS_MAPLAMP, 0));
    call("lamp_value", {u(first), cell(0.0f)});
    EXPECT_EQ(server.map_lamps.lamp(0).intensity, 0) << "the lamp builtins serve map lamps too";
    call("destroy_lamp", {u(first)});
    sync();
    EXPECT_EQ(call("register_lamp", {0}), -1) << "the record is free";
}

TEST_F(EffectBuiltins, CreateLampAnswersMinusOneWhenTheTableIsFull)
{
    int made_lamps = 0;
    int32_t last = 0;
    for (int n = 0; n < DYNAMIC_LAMP_MAX + 4 && last >= 0; ++n) {
        last = call("lamp");
        made_lamps += last >= 0 ? 1 : 0;
    }
    EXPECT_EQ(made_lamps, DYNAMIC_LAMP_MAX);
    EXPECT_EQ(last, -1);
}

TEST_F(EffectBuiltins, LightBuiltinsFollowTheirLampAndSetIntensityFocusAndMaximum)
{
    const int32_t lamp = call("lamp");
    const int32_t id = made(OBJCLASS_DYNLIGHT, "light", {u(lamp)});
    const SDynLight& light = server.dynamic_lights.light(index_of(id));
    EXPECT_EQ(light.lamp, u(lamp));
    capture.clear();
    call("light_intensity", {u(id), cell(15.99f)});
    EXPECT_EQ(light.intensity, 255);
    EXPECT_FALSE(capture.contains("too bright"));
    call("light_intensity", {u(id), cell(16.0f)});
    EXPECT_TRUE(capture.contains("Server: Dynamic light is too bright (16.00)")) << printed();
    call("light_focus", {u(id), cell(0.75f)});
    call("light_max", {u(id), cell(0.5f)});
    EXPECT_EQ(light.focus, 0.75f);
    EXPECT_EQ(light.maximum, 15);
    sync();
    const ObjectView* v = view(id);
    ASSERT_NE(v, nullptr);
    ASSERT_TRUE(v->state.light.lamp);
    EXPECT_EQ(v->state.light.lamp->index, u(index_of(lamp)));
    EXPECT_FALSE(v->state.light.lamp->map_lamp);
    EXPECT_EQ(v->state.light.intensity, 255u);
    EXPECT_EQ(v->state.light.focus, 0.75f);
    EXPECT_EQ(v->state.light.maximum, 15u);
}

TEST_F(EffectBuiltins, LensFlareBuiltinsSetEachPartInArgumentOrder)
{
    const int32_t id = made(OBJCLASS_LENSFLARE, "flare");
    const int32_t map_lamp = call("register_lamp", {0});
    call("flare_lamp", {u(id), u(map_lamp)});
    call("flare_color", {u(id), 0x00FF8040});
    call("flare_intensity", {u(id), cell(2.0f)});
    call("flare_limit", {u(id), cell(100.0f)});
    capture.clear();
    // Star 1, star 2, long streaks, star 3, short streaks (too many).
    call("flare_star", {u(id), cell(1.0f), cell(2.0f), 5, cell(3.0f), 20});
    EXPECT_TRUE(capture.contains("Server: Too many lens flare short streaks (20)")) << printed();
    call("flare_effects", {u(id), cell(1.0f), cell(2.0f), cell(0.5f), cell(1.0f), cell(0.0f), cell(4.0f)});
    sync();
    const ObjectView* v = view(id);
    ASSERT_NE(v, nullptr);
    const fake_client::FlareParts& f = v->state.flare;
    EXPECT_EQ(f.colour, 0xF84u);
    EXPECT_EQ(f.intensity, 32u);
    EXPECT_EQ(f.shape, (std::array<uint32_t, 11>{15, 16, 5, 24, 15, 15, 16, 7, 8, 0, 31}));
    ASSERT_TRUE(f.lamp);
    EXPECT_FALSE(f.lamp->none);
    EXPECT_TRUE(f.lamp->lamp.map_lamp);
    EXPECT_EQ(f.lamp->lamp.index, 0u);
    EXPECT_EQ(f.lamp->limit, 3u);

    call("flare_lamp", {u(id), u(OBJID_UNUSED)});
    call("flare_limit", {u(id), cell(-40.0f)});
    sync();
    ASSERT_TRUE(view(id)->state.flare.lamp);
    EXPECT_TRUE(view(id)->state.flare.lamp->none);
    EXPECT_EQ(view(id)->state.flare.lamp->limit, 0u);
}

TEST_F(EffectBuiltins, SoundBuiltinsNameTheSourceAndSetPitchAndAttenuation)
{
    const int32_t id = made(OBJCLASS_SOUND, "sound", {address("hum"), 1});
    call("sound_frequency", {u(id), cell(2.0f)});
    // Near distance, near level, far distance, far level.
    call("sound_attenuation", {u(id), cell(20.0f), cell(0.5f), cell(300.0f), cell(0.1f)});
    sync();
    const ObjectView* v = view(id);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->name, "hum");
    EXPECT_EQ(v->state.sound.mode, 1u);
    EXPECT_EQ(v->state.sound.pitch, 128u);
    EXPECT_EQ(v->state.sound.distance, (std::array<uint32_t, 2>{2, 1}));
    EXPECT_EQ(v->state.sound.level, (std::array<uint32_t, 2>{31, 6}));
}

TEST_F(EffectBuiltins, ATransientSoundGoesByItselfAfterSeventeenTicks)
{
    const int32_t lasting = made(OBJCLASS_SOUND, "sound", {address("hum"), 1});
    const int32_t passing = made(OBJCLASS_SOUND, "sound", {address("hum"), 2 | 1});
    for (const int32_t id : {lasting, passing}) {
        call("sound_attenuation", {u(id), cell(16.0f), cell(1.0f), cell(2048.0f), cell(1.0f)});
    }
    sync();
    EXPECT_NE(view(passing), nullptr);
    sync(SOBJ_TRANSIENT_TICKS + 2);
    EXPECT_EQ(server.mirror.get_common(passing), nullptr);
    EXPECT_EQ(view(passing), nullptr) << "the client was told it left";
    EXPECT_NE(server.mirror.get_common(lasting), nullptr);
    EXPECT_NE(view(lasting), nullptr);
}

TEST_F(EffectBuiltins, IconBuiltinsPlaceNameClipAndDestroyTheIcon)
{
    // x1 and x2 at the ends of their biased range.
    const int32_t id = made(OBJCLASS_ICON, "icon", {u(-19968), 10, 45567, 20});
    call("icon_name", {u(id), address("health")});
    call("icon_clip", {u(id), 100});
    sync();
    const ObjectView* v = view(id);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->state.icon.rect, (std::array<uint32_t, 4>{0, 0x5A80 + 10, 65535, 0x5A80 + 20}));
    EXPECT_EQ(v->name, "health");
    EXPECT_EQ(v->state.icon.clip, 0x4E00u + 100);
    call("destroy_icon", {u(id)});
    sync();
    EXPECT_EQ(view(id), nullptr);
    EXPECT_EQ(server.mirror.get_common(id), nullptr);
}

TEST_F(EffectBuiltins, SettersOnObjectsGoneOrOfAnotherClassChangeNothing)
{
    const int32_t icon = made(OBJCLASS_ICON, "icon", {0, 0, 8, 8});
    const int32_t gone = made(OBJCLASS_PARTICLE, "particles", {32});
    server.mirror.destroy(gone);
    sync();
    ASSERT_EQ(server.mirror.get_common(gone), nullptr);
    const SIcon before = server.icons.icon(index_of(icon));
    capture.clear();
    struct Case {
        const char* function;
        std::vector<uint32_t> args;
    };
    const Case cases[] = {
        {"particle_size", {u(gone), cell(1), cell(2)}},
        {"particle_start", {u(gone), 16, cell(1), cell(1), cell(1), cell(1)}},
        {"lamp_value", {u(icon), cell(0.5f)}},
        {"light_max", {u(icon), cell(0.5f)}},
        {"flare_star", {u(icon), cell(1), cell(1), 99, cell(1), 99}},
        {"sound_frequency", {u(icon), cell(3)}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.function);
        call("icon", {0, 0, 4, 4});
        const int32_t result = static_cast<int32_t>(server.k_context->result[0]);
        EXPECT_EQ(call(k.function, k.args), result) << "a setter has no result of its own";
    }
    const SIcon& after = server.icons.icon(index_of(icon));
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_TRUE(capture.lines().empty()) << printed();
}

TEST_F(EffectBuiltins, NonFiniteAndHugeFloatsStayWithinTheirFields)
{
    const int32_t particles = made(OBJCLASS_PARTICLE, "particles", {64});
    const int32_t lamp = made(OBJCLASS_DYNALAMP, "lamp");
    const int32_t light = made(OBJCLASS_DYNLIGHT, "light", {u(lamp)});
    const int32_t flare = made(OBJCLASS_LENSFLARE, "flare");
    const int32_t sound = made(OBJCLASS_SOUND, "sound", {address("hum"), 0});
    struct Setter {
        const char* function;
        int32_t id;
        int floats;
    };
    const Setter setters[] = {
        {"particle_size", particles, 2},  {"particle_lifetime", particles, 1}, {"spawn_sphere", particles, 8},
        {"lamp_value", lamp, 1},          {"light_intensity", light, 1},       {"light_max", light, 1},
        {"flare_intensity", flare, 1},    {"flare_limit", flare, 1},           {"flare_effects", flare, 6},
        {"sound_frequency", sound, 1},    {"sound_attenuation", sound, 4},
    };
    const float values[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 3e38f, -3e38f};
    for (const float v : values) {
        for (const Setter& k : setters) {
            SCOPED_TRACE(k.function);
            std::vector<uint32_t> args{u(k.id)};
            args.resize(1 + static_cast<size_t>(k.floats), cell(v));
            call(k.function, args);
        }
        call("particle_start", {u(particles), 16, cell(v), cell(v), cell(v), cell(v)});
        call("lamp_effect", {u(lamp), 1, cell(v), cell(v), cell(v), cell(v)});
        call("flare_star", {u(flare), cell(v), cell(v), 1, cell(v), 1});
        sync();
        EXPECT_LE(server.dynamic_lamps.lamp(index_of(lamp)).intensity, 63);
        EXPECT_LE(server.dynamic_lights.light(index_of(light)).intensity, 255);
        EXPECT_LE(server.particles.particles(index_of(particles)).lifetime, 63);
    }
    // Heard everywhere again: the last values left it silent beyond 0 units.
    call("sound_attenuation", {u(sound), cell(16.0f), cell(1.0f), cell(2048.0f), cell(1.0f)});
    sync();
    EXPECT_TRUE(player.errors.empty()) << player.errors.front();
    for (const int32_t id : {particles, lamp, light, flare, sound}) {
        EXPECT_NE(view(id), nullptr) << object_class_of(u(id));
    }
}

TEST_F(EffectBuiltins, ACreationWhoseFirstPropertyIsRefusedLeavesNoObject)
{
    const SObjArg name{.s = "hum"};
    const int32_t refused = create_object(server, OBJCLASS_SOUND, false,
                                          {{PROPERTY_SOUND_NAME, SObjArgs(&name, 1)}, {0x9FF, SObjArgs(&name, 1)}});
    EXPECT_EQ(refused, -1);
    sync();
    EXPECT_EQ(server.sound_sources.first(), -1) << "the half-made source was released";
}

TEST_F(EffectBuiltins, BadIdsFromScriptsEndTheProgram)
{
    const uint32_t flare = u(call("flare"));
    const uint32_t particles = object_id(OBJCLASS_PARTICLE, 0);
    const uint32_t lamps = u(server.map_lamps.max_objects);
    using Case = ScriptEnd;
    const Case cases[] = {
        {"particle_size", {u(-1), 0, 0}, "KRun: @set_particle_size: id >= 0 failed at "},
        {"lamp_value", {5, 0}, "KRun: @set_lamp_value: s.mirror.manager.* failed"},
        {"flare_star", {0xF00001, 0, 0, 0, 0, 0}, "KRun: @set_lensflare_star: s.mirror.manager"},
        {"destroy_icon", {u(-2)}, "KRun: @destroy_icon: id >= 0 failed"},
        {"destroy_lamp", {0xC00000}, "KRun: @destroy_lamp: s.mirror.manager"},
        {"register_lamp", {u(-1)}, "KRun: @register_lamp: index >= 0 && index < s.map_lamps.max_objects failed"},
        {"register_lamp", {lamps}, "KRun: @register_lamp: index >= 0"},
        {"light", {u(-1)}, "KRun: @create_light: lamp_id >= 0 failed"},
        {"light", {particles}, "KRun: @create_light: is_lamp_id"},
        {"flare_lamp", {flare, object_id(OBJCLASS_DYNLIGHT, 0)}, "KRun: @set_lensflare_lamp: lamp_id == OBJID_UNUSED"},
        {"flare_lamp", {flare, u(-2)}, "KRun: @set_lensflare_lamp: lamp_id == OBJID_UNUSED"},
        {"icon_name", {u(-1), 0}, "KRun: @set_icon_name: id >= 0 failed"},
        {"sound", {0xFFFFFFF0, 0}, "KRun: bad address 0xfffffff0"},
    };
    expect_each_ends_the_script(server.k_context, cases);
}

} // namespace
