// Object identifiers and their wire form, the manager base (creation,
// release, reuse counts, iteration, setters and stamps, audiences, part
// bits) and the camera class.
#include "core/sine_table.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "server/camera_manager.h"
#include "server/object_id.h"
#include "server/plain_managers.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

class Managers : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = sine_table;
        ASSERT_EQ(table_.init(4096), 1);
        sine_table = &table_;
    }
    void TearDown() override { sine_table = saved_; }

    SineTable table_;
    SineTable* saved_ = nullptr;
};

// A class that refuses to create its objects.
class RefusingManager final : public PlainObjectManager {
public:
    int on_create(int32_t, int32_t) override { return 0; }
};

TEST(ObjectId, WireForm)
{
    struct Case {
        const char* name;
        uint32_t id;
        int bits;
    };
    const Case cases[] = {
        {"index 0", object_id(OBJCLASS_CAMERA, 0), 17},
        {"255 is narrow", object_id(OBJCLASS_SPRITE, 255 | 0x30000), 17},
        {"256 is wide", object_id(OBJCLASS_SPRITE, 256), 25},
        {"300 is wide", object_id(OBJCLASS_ICON, 300 | 0xF0000), 25},
        {"the largest", object_id(15, 0xFFFFF), 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t buffer[8] = {};
        NetStreamOut out;
        out.attach(buffer, sizeof buffer);
        ASSERT_EQ(write_object_id(c.id, &out), 0);
        const int32_t bits = out.detach();
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(object_id_bits(c.id), c.bits);
        NetStreamIn in;
        in.attach(buffer, bits);
        const bool wide = in.read_bits(1) == 1;
        EXPECT_EQ(wide, c.bits == 25);
        EXPECT_EQ(in.read_bits(wide ? 16 : 8), c.id & 0xFFFF);
        EXPECT_EQ(in.read_bits(4), (c.id >> 16) & 0xF);
        EXPECT_EQ(in.read_bits(4), (c.id >> 20) & 0xF);
        in.detach();
    }
}

TEST_F(Managers, CreationTakesTheLowestFreeRecord)
{
    PlainObjectManager m;
    ASSERT_EQ(m.start(3), 1);
    EXPECT_EQ(m.create(5, AUDIENCE_EVERYONE, false), 0);
    EXPECT_EQ(m.create(5, AUDIENCE_EVERYONE, true), 1);
    EXPECT_EQ(m.create(6, 7, false), 2);
    EXPECT_EQ(m.create(6, 7, false), -1) << "full";
    EXPECT_EQ(m.common[1].flags, SOBJF_CHANGED | SOBJF_TRANSIENT);
    EXPECT_EQ(m.common[2].audience, 7);
    EXPECT_EQ(m.common[2].tick_create, 6);
    EXPECT_EQ(m.head, 2) << "newest first";
    m.release(1);
    EXPECT_EQ(m.create(9, AUDIENCE_EVERYONE, false), static_cast<int32_t>(1 | OBJID_COUNTSTEP));

    // Records at fixed indices; one in use is refused.
    PlainObjectManager fixed;
    ASSERT_EQ(fixed.start(4), 1);
    EXPECT_EQ(fixed.create_at(3, AUDIENCE_EVERYONE), 1);
    EXPECT_EQ(fixed.create_at(3, AUDIENCE_EVERYONE), 0);
    EXPECT_EQ(fixed.common[3].tick_create, 0);
    EXPECT_EQ(fixed.lookup(3), 3);

    // A class that refuses leaves the record free, its reuse count moved on.
    RefusingManager r;
    ASSERT_EQ(r.start(2), 1);
    EXPECT_EQ(r.create(1, AUDIENCE_EVERYONE, false), -1);
    EXPECT_EQ(r.create_at(0, AUDIENCE_EVERYONE), 0);
    EXPECT_EQ(r.head, -1);
    EXPECT_EQ(r.is_used(0), 0);
}

TEST_F(Managers, ReuseCountsRejectOldIdentifiers)
{
    PlainObjectManager m;
    ASSERT_EQ(m.start(2), 1);
    const uint32_t first = static_cast<uint32_t>(m.create(0, AUDIENCE_EVERYONE, false));
    EXPECT_EQ(m.lookup(first), 0);
    m.release(first);
    EXPECT_EQ(m.lookup(first), -1) << "released";
    const uint32_t second = static_cast<uint32_t>(m.create(0, AUDIENCE_EVERYONE, false));
    EXPECT_NE(second, first);
    EXPECT_EQ(m.lookup(first), -1) << "the slot is reused under another count";
    EXPECT_EQ(m.lookup(second), 0);
    EXPECT_EQ(m.set_audience(first, 3), 0);
    EXPECT_EQ(m.set_offset(1, first, Vector{1, 2, 3}), 0);
    EXPECT_EQ(m.common[0].offset.x, 0.0f);
    // Sixteen reuses bring the count round again.
    uint32_t id = second;
    for (int i = 1; i < 16; ++i) {
        m.release(id);
        id = static_cast<uint32_t>(m.create(0, AUDIENCE_EVERYONE, false));
    }
    EXPECT_EQ(id, first);
    EXPECT_EQ(m.lookup(first), 0);
    // An index beyond the array and a class in the id's high bits.
    EXPECT_EQ(m.lookup(7), -1);
    EXPECT_EQ(m.lookup(object_id(OBJCLASS_SPRITE, first)), 0) << "the class is the manager's";
}

TEST_F(Managers, IterationSurvivesReleasingTheRecordItReturned)
{
    PlainObjectManager m;
    ASSERT_EQ(m.start(6), 1);
    for (int i = 0; i < 6; ++i) {
        m.create(0, AUDIENCE_EVERYONE, false);
    }
    std::vector<int32_t> seen;
    for (int32_t i = m.first(); i >= 0; i = m.next()) {
        seen.push_back(i);
        if (i % 2 == 1) {
            m.release(m.common[i].id);
        }
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{5, 4, 3, 2, 1, 0}));
    seen.clear();
    for (int32_t i = m.first(); i >= 0; i = m.next()) {
        seen.push_back(i);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{4, 2, 0}));
}

TEST_F(Managers, SettersStampOnlyWhatChanges)
{
    PlainObjectManager m;
    ASSERT_EQ(m.start(1), 1);
    const uint32_t id = static_cast<uint32_t>(m.create(0, AUDIENCE_EVERYONE, false));
    SObjCommon& o = m.common[0];
    o.flags = 0;
    EXPECT_EQ(m.set_offset(4, id, Vector{0, 0, 0}), 1);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OFFSET], -1) << "the same value";
    EXPECT_EQ(o.flags, 0u);
    EXPECT_EQ(m.set_offset(5, id, Vector{0, 0, 2}), 1);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OFFSET], 5);
    EXPECT_EQ(o.flags, SOBJF_CHANGED);

    o.flags = 0;
    const float pi = 3.14159265f;
    ASSERT_EQ(m.set_own_angles(6, id, pi / 2, 0.0f, -pi / 2), 1);
    EXPECT_NEAR(o.own_angles[0], 0.25f, 1e-6);
    EXPECT_EQ(o.own_angles[1], 0.0f);
    EXPECT_NEAR(o.own_angles[2], 0.75f, 1e-6);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OWN_ANGLE + 0], 6);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OWN_ANGLE + 1], -1);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OWN_ANGLE + 2], 6);
    // A whole turn more is the same fraction: nothing changes.
    o.flags = 0;
    ASSERT_EQ(m.set_own_angles(7, id, pi / 2 + 2 * pi, 0.0f, -pi / 2 - 4 * pi), 1);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OWN_ANGLE + 0], 6);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_OWN_ANGLE + 2], 6);
    EXPECT_EQ(o.flags, 0u);

    ASSERT_EQ(m.reset_interpolation(8, id), 1);
    EXPECT_EQ(o.stamp[SOBJ_STAMP_RESET], 8);
    ASSERT_EQ(m.bind(id, 4), 1);
    EXPECT_EQ(m.physical_entity(0), 4);
    ASSERT_EQ(m.unbind(id), 1);
    EXPECT_EQ(m.physical_entity(0), -1);
}

// The wrap the carrier update and the own angles are written with: whole
// turns added or taken one at a time.
float wrap_by_loops(float f)
{
    while (f < 0.0f) {
        f += 1.0f;
    }
    while (f >= 1.0f) {
        f += -1.0f;
    }
    return f;
}

TEST_F(Managers, AngleFractionsWrapAsWholeTurnsWouldAndAlwaysEnd)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> any(-5000.0f, 5000.0f);
    std::uniform_real_distribution<float> small(-1e-6f, 1e-6f);
    for (int i = 0; i < 20000; ++i) {
        const float v = i % 2 == 0 ? any(random) : small(random);
        ASSERT_EQ(wrap_fraction(v), wrap_by_loops(v)) << v;
        ASSERT_EQ(turn_fraction(v), wrap_by_loops(v * 0.15915494f)) << v;
    }
    // Values whose loops would never end, and values that are no number.
    const float inf = std::numeric_limits<float>::infinity();
    for (const float v : {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f, 16777217.0f}) {
        const float f = turn_fraction(v);
        EXPECT_TRUE(f >= 0.0f && f < 1.0f) << v;
    }
    EXPECT_EQ(turn_fraction(inf), 0.0f);
    EXPECT_EQ(wrap_fraction(-1e30f), 0.0f);
}

TEST_F(Managers, Audiences)
{
    struct Case {
        const char* name;
        int32_t audience;
        std::vector<int> admitted; // of clients 0-4
    };
    const Case cases[] = {
        {"everyone", -2, {0, 1, 2, 3, 4}},
        {"nobody", -1, {}},
        {"one client", 3, {3}},
        {"all but 3", 0x10003, {0, 1, 2, 4}},
        {"another mode", 0x20003, {}},
        {"all but, whatever else", 0x30001, {0, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> admitted;
        for (int client = 0; client < 5; ++client) {
            if (audience_admits(c.audience, client)) {
                admitted.push_back(client);
            }
        }
        EXPECT_EQ(admitted, c.admitted);
    }
    // The audience pass admits none that is to be destroyed.
    PlainObjectManager m;
    ASSERT_EQ(m.start(3), 1);
    for (int i = 0; i < 3; ++i) {
        m.create(0, AUDIENCE_EVERYONE, false);
    }
    m.common[1].flags |= SOBJF_DESTROY;
    m.common[2].audience = 1;
    m.common[0].flags |= SOBJF_CACTIVE;
    m.audience_pass(0);
    EXPECT_EQ(m.common[0].flags & (SOBJF_ADMITTED | SOBJF_CACTIVE), SOBJF_ADMITTED);
    EXPECT_EQ(m.common[1].flags & SOBJF_ADMITTED, 0u);
    EXPECT_EQ(m.common[2].flags & SOBJF_ADMITTED, 0u);
    m.clear_marks();
    EXPECT_EQ(m.common[0].flags & SOBJF_ADMITTED, 0u);
}

TEST_F(Managers, CommonPartBits)
{
    PlainObjectManager m;
    ASSERT_EQ(m.start(1), 1);
    m.create(0, AUDIENCE_EVERYONE, false);
    SObjCommon& o = m.common[0];
    // A create names the parts that are not zero.
    EXPECT_EQ(m.common_part_bits(0, -1, SOBJ_PART_CREATE), SOBJ_PART_CREATE | SOBJ_PART_RESET | SOBJ_PART_MORE);
    o.position = Vector{0.0f, 5.0f, 0.0f};
    o.carrier_angles[2] = 0.5f;
    o.own_angles[0] = 0.25f;
    o.offset = Vector{0.0f, 0.0f, -1.0f};
    EXPECT_EQ(m.common_part_bits(0, -1, SOBJ_PART_CREATE),
              0x2u | 0x20 | 0x40 | 0x80 | SOBJ_PART_CREATE | SOBJ_PART_RESET | SOBJ_PART_MORE);
    // Later, the parts stamped after the client's last update.
    o.stamp[SOBJ_STAMP_POSITION + 1] = 10;
    o.stamp[SOBJ_STAMP_CARRIER_ANGLE + 2] = 11;
    o.stamp[SOBJ_STAMP_RESET] = 12;
    EXPECT_EQ(m.common_part_bits(0, 9, 0), 0x2u | 0x20 | SOBJ_PART_RESET | SOBJ_PART_MORE);
    EXPECT_EQ(m.common_part_bits(0, 10, 0), 0x20u | SOBJ_PART_RESET | SOBJ_PART_MORE);
    EXPECT_EQ(m.common_part_bits(0, 11, 0), SOBJ_PART_RESET | SOBJ_PART_MORE);
    EXPECT_EQ(m.common_part_bits(0, 12, 0), 0u);

    // The wide form starts at 8192.0, for selected positions and offsets.
    struct Case {
        const char* name;
        Vector position;
        Vector offset;
        uint32_t selected;
        bool wide;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"8191.99 is narrow", {8191.99f, 0, 0}, {0, 0, 0}, 0x1, false},
        {"8192 is wide", {8192.0f, 0, 0}, {0, 0, 0}, 0x1, true},
        {"-8192 is wide", {0, -8192.0f, 0}, {0, 0, 0}, 0x2, true},
        {"an unselected component does not count", {0, 9000.0f, 0}, {0, 0, 0}, 0x1, false},
        {"a wide offset", {0, 0, 0}, {0, 0, 10000.0f}, 0x40, true},
        {"NaN takes the wide form", {0, 0, nan}, {0, 0, 0}, 0x4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        o.position = c.position;
        o.offset = c.offset;
        for (int32_t& s : o.stamp) {
            s = -1;
        }
        for (int k = 0; k < 3; ++k) {
            if ((c.selected & (1u << k)) != 0) {
                o.stamp[SOBJ_STAMP_POSITION + k] = 1;
            }
        }
        if ((c.selected & 0x40) != 0) {
            o.stamp[SOBJ_STAMP_OFFSET] = 1;
        }
        const uint32_t mask = m.common_part_bits(0, 0, 0);
        EXPECT_EQ((mask & SOBJ_PART_WIDE) != 0, c.wide);
    }
}

TEST_F(Managers, WorldPointOfACarriedObject)
{
    PlainObjectManager m;
    ASSERT_EQ(m.start(1), 1);
    const uint32_t id = static_cast<uint32_t>(m.create(0, AUDIENCE_EVERYONE, false));
    SObjCommon& o = m.common[0];
    o.position = Vector{10.0f, 20.0f, 30.0f};
    o.offset = Vector{1.0f, 0.0f, 0.0f};
    Vector p{};
    ASSERT_EQ(m.get_world_point(id, p), 1);
    EXPECT_NEAR(p.x, 11.0f, 1e-5);
    EXPECT_NEAR(p.y, 20.0f, 1e-5);
    EXPECT_NEAR(p.z, 30.0f, 1e-5);
    // A carrier turned by a quarter moves the offset with it.
    o.carrier_angles[0] = 0.25f;
    ASSERT_EQ(m.get_world_point(id, p), 1);
    Matrix r;
    mat_from_angles(r, o.position, 6.2831853f * 0.25f, 0.0f, 0.0f);
    Vector expected{};
    mat_rotate_vector(expected, r, o.offset);
    EXPECT_NEAR(p.x, expected.x, 1e-5);
    EXPECT_NEAR(p.y, expected.y, 1e-5);
    EXPECT_NEAR(p.z, expected.z, 1e-5);
    EXPECT_GT(std::fabs(p.x - 11.0f) + std::fabs(p.y - 20.0f) + std::fabs(p.z - 30.0f), 0.5f);
    EXPECT_EQ(m.get_world_point(id + OBJID_COUNTSTEP, p), 0);
}

TEST_F(Managers, CameraProperties)
{
    SCameraManager m;
    ASSERT_EQ(m.start(CAMERA_MAX), 1);
    const uint32_t id = static_cast<uint32_t>(m.create(0, 0, false));
    const SCamera& c = m.camera(0);
    EXPECT_EQ(c.zoom1, 128);
    EXPECT_EQ(c.zoom2, 96);
    uint32_t mask = SOBJ_PART_CREATE;
    EXPECT_EQ(m.class_part_bits(-1, 0, &mask), 0);
    EXPECT_EQ(mask, SOBJ_PART_CREATE) << "a default camera sends no class part";

    struct Case {
        const char* name;
        int32_t tick;
        int property;
        std::vector<SObjArg> args;
        int result;
        uint32_t filter;
        int32_t zoom1, zoom2;
        int32_t filter_stamp, zoom_stamp;
    };
    const auto i = [](int32_t v) { return SObjArg{v, 0.0, nullptr}; };
    const auto d = [](double v) { return SObjArg{0, v, nullptr}; };
    const Case cases[] = {
        {"filter keeps 6 bits a byte", 1, PROPERTY_CAMERA_FILTER, {i(static_cast<int32_t>(0xFF804003u))}, 1,
         0x3F201000u, 128, 96, 1, -1},
        {"the same filter stamps nothing", 2, PROPERTY_CAMERA_FILTER, {i(static_cast<int32_t>(0xFF804003u))}, 1,
         0x3F201000u, 128, 96, 1, -1},
        {"zoom in 1/256", 6, PROPERTY_CAMERA_ZOOM, {d(1.0), d(0.5)}, 1, 0x3F201000u, 256, 128, 1, 6},
        {"zoom clamped", 7, PROPERTY_CAMERA_ZOOM, {d(100.0), d(-1.0)}, 1, 0x3F201000u, 1023, 0, 1, 7},
        {"zoom of NaN", 8, PROPERTY_CAMERA_ZOOM, {d(std::nan("")), d(0.5)}, 1, 0x3F201000u, 0, 128, 1, 8},
        {"missing argument", 9, PROPERTY_CAMERA_ZOOM, {d(1.0)}, 0, 0x3F201000u, 0, 128, 1, 8},
        {"unknown property", 10, 0xA02, {i(1)}, 0, 0x3F201000u, 0, 128, 1, 8},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(m.set_property(k.tick, id, k.property, k.args), k.result);
        EXPECT_EQ(c.filter, k.filter);
        EXPECT_EQ(c.zoom1, k.zoom1);
        EXPECT_EQ(c.zoom2, k.zoom2);
        EXPECT_EQ(c.filter_stamp, k.filter_stamp);
        EXPECT_EQ(c.zoom_stamp, k.zoom_stamp);
    }
    EXPECT_EQ(m.set_property(20, id + OBJID_COUNTSTEP, PROPERTY_CAMERA_ZOOM, std::vector<SObjArg>{d(1), d(1)}), 0);
    mask = 0;
    m.class_part_bits(7, 0, &mask);
    EXPECT_EQ(mask, CAMERA_PART_ZOOM | SOBJ_PART_MORE);
    mask = SOBJ_PART_CREATE;
    m.class_part_bits(-1, 0, &mask);
    EXPECT_EQ(mask, SOBJ_PART_CREATE | CAMERA_PART_FILTER | CAMERA_PART_ZOOM | SOBJ_PART_MORE);
}

} // namespace
