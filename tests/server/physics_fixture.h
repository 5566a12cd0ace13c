#pragma once
// A physics server over the generated hall (tools/mapgen/maps/physics_hall):
// floor at z = 0, four 8-unit steps from x = 64 to a landing at z = 32,
// pillars, water of material 60, a side room past x = 1024 with trigger 1 at
// its door and trigger 2 filling it. Hull trees 0 (point), 1 (8, 8, 8) and
// 2 (16, 16, 28). Script calls land in a fake that records them.
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "server/physics_server.h"
#include "support/print_capture.h"
#include "tools/mapgen/mapgen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

constexpr int32_t STONE = 0x2180;
constexpr uint32_t BODY = PHYS_MOVING | PHYS_GROUND_CONTACT;

struct ScriptCall {
    bool method;     // else a trigger function
    uint32_t target; // method offset or function address
    uint32_t object;
    uint32_t argument;
    int32_t number;  // trigger number of a function

    bool operator==(const ScriptCall& o) const
    {
        return method == o.method && target == o.target && object == o.object && argument == o.argument &&
               number == o.number;
    }
};

inline ScriptCall function_call(uint32_t address, uint32_t argument, uint32_t object, int32_t number)
{
    return ScriptCall{false, address, object, argument, number};
}

inline ScriptCall method_call(uint32_t offset, uint32_t object, uint32_t argument)
{
    return ScriptCall{true, offset, object, argument, 0};
}

inline std::ostream& operator<<(std::ostream& out, const ScriptCall& c)
{
    return out << (c.method ? "method " : "function ") << c.target << " object " << c.object << " argument "
               << c.argument << " number " << c.number;
}

class FakeScript final : public PhysicsScript {
public:
    void call_function(uint32_t address, uint32_t argument, uint32_t object, int32_t number) override
    {
        calls.push_back(function_call(address, argument, object, number));
        if (on_function) {
            on_function(address, object);
        }
    }
    uint32_t call_method(uint32_t offset, uint32_t object, uint32_t argument) override
    {
        calls.push_back(method_call(offset, object, argument));
        return on_method ? on_method(offset, object, argument) : 0;
    }
    uint32_t class_flags(uint32_t object) override { return object & 0xF00u; }

    std::vector<ScriptCall> calls;
    std::function<uint32_t(uint32_t offset, uint32_t object, uint32_t argument)> on_method;
    std::function<void(uint32_t address, uint32_t object)> on_function;
};

inline std::string physics_source(const std::string& relative)
{
    const char* const root = std::getenv("OSTREL_SOURCE_DIR");
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class PhysicsHall : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture.show_all();
        saved_sine_ = sine_table;
        ASSERT_EQ(sine_.init(4096), 1);
        sine_table = &sine_;
        mapgen::MapFiles files;
        std::string error;
        ASSERT_TRUE(mapgen::generate_map(physics_source("tools/mapgen/maps/physics_hall.rooms"), files, error)) << error;
        for (const mapgen::MapFile& f : files.files) {
            tree_.write("maps/hall/" + f.name, f.bytes);
        }
        saved_fsys_ = fsys;
        fsys = &fs_;
        ASSERT_EQ(fs_.mount(tree_.path().c_str(), 1, 10), 1);
        ASSERT_EQ(share.register_type(VOLUME_SHARE_ID, VolumeSet::create), 1);
        uint32_t identifier = 0;
        ASSERT_EQ(physics.init(&share, "maps/hall/volume.txt", &script, &identifier), 1);
    }
    void TearDown() override
    {
        physics.done();
        fsys = saved_fsys_;
        sine_table = saved_sine_;
    }

    // A placed entity.
    int32_t body(const Vector& size, const Vector& at, uint32_t flags = BODY, uint32_t object = 0)
    {
        const int32_t id = physics.create_entity(object, size, -1, flags);
        EXPECT_GE(id, 0);
        physics.set_physical_position(id, at);
        return id;
    }
    // A placed entity carrying a box of the contents, half size `half`.
    int32_t box(const Vector& at, const Vector& half, int32_t contents, uint32_t flags = PHYS_VOLUME,
                uint32_t object = 0)
    {
        const int32_t volume = physics.get_box_volume(contents, Vector{0, 0, 0}, half);
        EXPECT_GE(volume, 0);
        const int32_t id = physics.create_entity(object, half, volume, flags);
        EXPECT_GE(id, 0);
        physics.set_physical_position(id, at);
        return id;
    }
    const PhysicalEntity& at(int32_t id) { return *physics.entity(id); }
    // Ticks until the entity sleeps, at most `limit`; the ticks it took or -1.
    int until_asleep(int32_t id, int limit)
    {
        for (int t = 1; t <= limit; ++t) {
            physics.tick();
            if (!at(id).awake()) {
                return t;
            }
        }
        return -1;
    }
    void ticks(int n)
    {
        for (int t = 0; t < n; ++t) {
            physics.tick();
        }
    }

    PrintCapture capture;
    ShareManager share;
    FakeScript script;
    PhysicsServer physics;

private:
    SineTable sine_;
    SineTable* saved_sine_ = nullptr;
    TempTree tree_;
    FSys fs_;
    FSys* saved_fsys_ = nullptr;
};
