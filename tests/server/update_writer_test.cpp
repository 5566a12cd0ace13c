// The update message of one client: records of created, changed and leaving
// objects, checked through the reference decoder and a client's view.
#include "capture_socket.h"
#include "core/sine_table.h"
#include "server/camera_manager.h"
#include "server/object_list.h"
#include "server/physics_server.h"
#include "server/plain_managers.h"
#include "server/sobj_net_mirror.h"
#include "support/print_capture.h"
#include "tools/fake_client/client_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <set>

namespace {

using fake_client::ClientView;
using fake_client::UpdateMessage;
using fake_client::UpdateRecord;

constexpr float PI = 3.14159265f;

// One client as the writer serves it: its list, its socket and what it holds.
struct Peer {
    ObjectList list;
    CaptureSocket socket;
    ClientView view;
    std::set<int32_t> outside; // lamp indices its visibility walk does not reach
};

class Writer : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture.show_all();
        saved_ = sine_table;
        ASSERT_EQ(table_.init(4096), 1);
        sine_table = &table_;
        ASSERT_EQ(lamps.start(1100), 1);
        ASSERT_EQ(cameras.start(CAMERA_MAX), 1);
        mirror.reset();
        mirror.set_physics(&physics);
        mirror.set_manager(OBJCLASS_DYNALAMP, &lamps);
        mirror.set_manager(OBJCLASS_CAMERA, &cameras);
        mirror.set_current_stamp(0);
        for (auto& p : peers) {
            p = std::make_unique<Peer>();
            ASSERT_EQ(p->list.allocate(OBJECT_LIST_CAPACITY), 1);
        }
    }
    void TearDown() override { sine_table = saved_; }

    void tick() { mirror.set_current_stamp(mirror.current_stamp + 1); }

    // One round of updates for the clients: what each was sent (an empty
    // message with stamp -1 when none went out).
    std::vector<UpdateMessage> send(const std::vector<int32_t>& acks, bool due = true)
    {
        std::vector<UpdateMessage> out;
        mirror.update_carrier_position();
        for (size_t c = 0; c < acks.size(); ++c) {
            Peer& p = *peers[c];
            lamps.audience_pass(static_cast<int>(c));
            cameras.audience_pass(static_cast<int>(c));
            for (const int32_t i : p.outside) {
                lamps.common[i].flags &= ~SOBJF_ADMITTED;
            }
            p.socket.messages.clear();
            mirror.write_client_update(static_cast<int>(c), acks[c], &p.socket, &p.list, due);
            UpdateMessage m;
            if (!p.socket.messages.empty()) {
                const CaptureSocket::Message& raw = p.socket.messages.back();
                m = fake_client::decode_update(raw.bytes.data(), raw.bits);
                EXPECT_TRUE(m.error.empty()) << m.error;
            }
            out.push_back(m);
        }
        mirror.purge_destroyed_objects();
        return out;
    }
    UpdateMessage send1(int32_t ack, bool due = true) { return send({ack}, due)[0]; }

    int32_t lamp(const Vector& offset = {0, 0, 0}, int32_t audience = AUDIENCE_EVERYONE)
    {
        const int32_t id = mirror.create(OBJCLASS_DYNALAMP, audience, false);
        EXPECT_GE(id, 0);
        mirror.set_position(id, offset);
        return id;
    }

    // The object's record, by value: messages are often temporaries.
    static std::optional<UpdateRecord> find(const UpdateMessage& m, int32_t id)
    {
        for (const UpdateRecord& r : m.records) {
            if (r.id == static_cast<uint32_t>(id)) {
                return r;
            }
        }
        return std::nullopt;
    }

    PrintCapture capture;
    SineTable table_;
    SineTable* saved_ = nullptr;
    PhysicsServer physics;
    PlainObjectManager lamps;
    SCameraManager cameras;
    SObjNetMirror mirror;
    std::unique_ptr<Peer> peers[2];
};

TEST_F(Writer, ACreateCarriesEveryPartThatIsNotZero)
{
    const int32_t a = lamp({100.5f, -200.25f, 0.0f});
    mirror.set_angles(a, PI / 2, 0.0f, 0.0f);
    const int32_t cam = mirror.create(OBJCLASS_CAMERA, AUDIENCE_EVERYONE, false);
    mirror.set_angles(cam, 0.0f, 0.0f, PI / 2);
    tick();
    const UpdateMessage m = send1(-1);
    EXPECT_EQ(m.stamp, 1);
    ASSERT_EQ(m.records.size(), 2u);
    EXPECT_EQ(m.records[0].id, static_cast<uint32_t>(a)) << "classes in order";
    const UpdateRecord& r = m.records[0];
    EXPECT_FALSE(r.leave);
    EXPECT_EQ(r.mask, 0x400u | 0x800 | 0x2000 | 0x40 | 0x80);
    EXPECT_EQ(r.offset_code[0], static_cast<uint32_t>((100.5 + 8192) * 8));
    EXPECT_EQ(r.offset_code[1], static_cast<uint32_t>((-200.25 + 8192) * 8));
    EXPECT_EQ(r.offset_code[2], 8192u * 8);
    EXPECT_EQ(r.angle_bits, 12);
    EXPECT_EQ(r.own_code[0], 1024u);
    EXPECT_EQ(r.bits, 17 + 1 + 7 + 7 + 3 * 17 + 12);
    const UpdateRecord& c = m.records[1];
    EXPECT_EQ(c.object_class, OBJCLASS_CAMERA);
    EXPECT_EQ(c.mask, 0x400u | 0x800 | 0x2000 | 0x200);
    EXPECT_EQ(c.angle_bits, 14);
    EXPECT_EQ(c.own_code[2], 4096u);
    EXPECT_TRUE(c.camera_parts);
    EXPECT_FALSE(c.filter_present);
    EXPECT_FALSE(c.zoom_present);
}

TEST_F(Writer, PositionsNarrowWideAndClamped)
{
    struct Case {
        const char* name;
        float value;
        bool wide;
        uint32_t code;
        bool warned;
    };
    const Case cases[] = {
        {"narrow top", 8191.99f, false, 131071, false},
        {"narrow bottom", -8191.99f, false, 0, false},
        {"wide", 9000.0f, true, (9000 + 65536) * 8, false},
        {"70000 is the largest code", 70000.0f, true, 1048575, true},
        {"-70000 is code 0", -70000.0f, true, 0, true},
        {"infinity", INFINITY, true, 1048575, true},
        {"NaN", NAN, true, 0, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        capture.clear();
        const int32_t a = lamp();
        mirror.get_common(a)->offset = Vector{k.value, 0.0f, 0.0f};
        tick();
        const UpdateMessage m = send1(peers[0]->list.newest_sent);
        const std::optional<UpdateRecord> r = find(m, a);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->wide_positions(), k.wide);
        EXPECT_EQ(r->offset_code[0], k.code);
        EXPECT_EQ(capture.contains("Position out of range"), k.warned);
        mirror.destroy(a);
    }
}

TEST_F(Writer, CreatesGoAgainUntilAcknowledgedThenOnlyChanges)
{
    const int32_t a = lamp({1.0f, 2.0f, 3.0f});
    tick();
    EXPECT_TRUE(find(send1(-1), a)->create());
    tick();
    EXPECT_TRUE(find(send1(-1), a)->create()) << "the client acknowledged nothing yet";
    tick();
    const UpdateMessage quiet = send1(2);
    EXPECT_TRUE(quiet.records.empty()) << "acknowledged, unchanged";
    tick();
    mirror.set_position(a, Vector{1.0f, 2.0f, 4.0f});
    const UpdateMessage changed = send1(3);
    ASSERT_EQ(changed.records.size(), 1u);
    EXPECT_EQ(changed.records[0].mask, 0x40u | 0x2000);
    tick();
    EXPECT_EQ(send1(3).records.size(), 1u) << "sent again while the client acknowledges older stamps";
    tick();
    EXPECT_TRUE(send1(5).records.empty());
    // An id of index 300 and over travels in the wide form.
    for (int i = 0; i < 300; ++i) {
        lamp();
    }
    tick();
    const UpdateMessage many = send1(6);
    const std::optional<UpdateRecord> r = find(many, static_cast<int32_t>(object_id(OBJCLASS_DYNALAMP, 300)));
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->wide_id);
    EXPECT_EQ(r->bits, 25 + 1 + 7 + 7);
}

TEST_F(Writer, AnObjectOutOfSightStaysSeventyTicks)
{
    const int32_t a = lamp({5.0f, 0.0f, 0.0f});
    tick();
    send1(-1);
    peers[0]->outside.insert(object_index_of(static_cast<uint32_t>(a)));
    int32_t left_at = -1;
    int32_t acked = 1;
    for (int t = 0; t < 100; ++t) {
        tick();
        if (t == 30) {
            mirror.set_position(a, Vector{6.0f, 0.0f, 0.0f});
        }
        const UpdateMessage m = send1(acked);
        const std::optional<UpdateRecord> r = find(m, a);
        if (mirror.current_stamp < 2 + 70) {
            // Still the client's: changes keep coming, no leave.
            EXPECT_TRUE(!r.has_value() || !r->leave) << mirror.current_stamp;
            if (t == 30) {
                ASSERT_TRUE(r.has_value());
                EXPECT_EQ(r->mask, 0x40u | 0x2000);
            }
            acked = m.stamp;
            continue;
        }
        if (left_at < 0) {
            ASSERT_TRUE(r.has_value()) << mirror.current_stamp;
            EXPECT_TRUE(r->leave);
            left_at = m.stamp;
            continue;
        }
        if (mirror.current_stamp < left_at + 5) {
            // The client acknowledges nothing newer: the leave goes again.
            ASSERT_TRUE(r.has_value());
            EXPECT_TRUE(r->leave);
            continue;
        }
        acked = m.stamp;
        if (mirror.current_stamp > left_at + 6) {
            EXPECT_FALSE(r.has_value()) << "acknowledged";
        }
    }
    EXPECT_EQ(left_at, 2 + 70);
    EXPECT_EQ(peers[0]->list.used, 0);
    EXPECT_NE(mirror.get_common(a), nullptr) << "only destroyed objects are released";
}

TEST_F(Writer, AudienceAndDestructionLeaveAtOnceAndTheObjectLivesUntilEveryLeaveIsAcknowledged)
{
    const int32_t a = lamp();
    const int32_t b = lamp();
    tick();
    send({-1, -1});
    tick();
    send({1, 1});
    // Another audience: the leave goes at once.
    mirror.set_audience(b, 1);
    tick();
    std::vector<UpdateMessage> m = send({2, 2});
    ASSERT_TRUE(find(m[0], b).has_value());
    EXPECT_TRUE(find(m[0], b)->leave);
    EXPECT_FALSE(find(m[1], b).has_value());

    mirror.destroy(a);
    tick();
    m = send({3, 3});
    EXPECT_TRUE(find(m[0], a)->leave);
    EXPECT_TRUE(find(m[1], a)->leave);
    // Client 0 acknowledges, client 1 does not: the object lives on.
    for (int i = 0; i < 3; ++i) {
        tick();
        m = send({m[0].stamp, 3});
        EXPECT_NE(mirror.get_common(a), nullptr);
        EXPECT_FALSE(find(m[0], a).has_value());
        EXPECT_TRUE(find(m[1], a)->leave);
    }
    // A round that is not due still holds it.
    tick();
    send({mirror.current_stamp - 1, 3}, false);
    EXPECT_NE(mirror.get_common(a), nullptr);
    tick();
    m = send({mirror.current_stamp - 2, mirror.current_stamp - 2});
    EXPECT_FALSE(find(m[1], a).has_value());
    // The lists held it when this round began; the next purge releases it.
    tick();
    send({mirror.current_stamp - 1, mirror.current_stamp - 1});
    EXPECT_EQ(mirror.get_common(a), nullptr);
}

TEST_F(Writer, AnObjectThatComesBackAfterItsLeaveIsCreatedAgain)
{
    const int32_t a = lamp({7.0f, 0.0f, 0.0f});
    tick();
    send1(-1);
    mirror.set_audience(a, AUDIENCE_NOBODY);
    tick();
    EXPECT_TRUE(find(send1(1), a)->leave);
    mirror.set_audience(a, AUDIENCE_EVERYONE);
    tick();
    const std::optional<UpdateRecord> r = find(send1(1), a);
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->create());
    EXPECT_EQ(r->offset_code[0], static_cast<uint32_t>((7 + 8192) * 8));
}

TEST_F(Writer, AnAcknowledgementAboveTheNewestUpdateIsClamped)
{
    const int32_t a = lamp();
    tick();
    send1(-1);
    tick();
    // Taken as the newest update sent, which carried the create.
    EXPECT_FALSE(find(send1(0x7FFFFFFF), a).has_value());
    // Changes after it still go, however far ahead the client claims to be.
    mirror.set_position(a, Vector{1.0f, 0.0f, 0.0f});
    tick();
    const std::optional<UpdateRecord> r = find(send1(0x7FFFFFFF), a);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->mask, 0x40u | 0x2000);
}

TEST_F(Writer, TheThousandAndTwentyFifthObjectFindsNoRoom)
{
    for (int i = 0; i < 1025; ++i) {
        lamp();
    }
    tick();
    const UpdateMessage m = send1(-1);
    EXPECT_TRUE(capture.contains("Server: Too many active client objects"));
    EXPECT_TRUE(capture.contains("Server net: Can't add 0x"));
    EXPECT_TRUE(m.error.empty());
    EXPECT_EQ(m.records.size(), 1024u);
    EXPECT_EQ(peers[0]->list.used, 1024);
}

// Random worlds, small messages, lost messages and late acknowledgements:
// once the world stands still and the line is good again, the client holds
// exactly the objects it may see, with their latest parts, and no record
// ever changed an object the client did not have.
TEST_F(Writer, NothingIsLostWhenMessagesOverflowOrGoAstray)
{
    std::mt19937 random(11);
    const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    std::vector<int32_t> ids;
    ClientView& view = peers[0]->view;
    int32_t acked = -1;
    const auto round = [&](bool rough) {
        tick();
        peers[0]->socket.set_capacity(rough ? 8 + static_cast<int32_t>(random() % 120) : 8000);
        const UpdateMessage m = send1(acked);
        if (m.stamp >= 0 && !(rough && chance(25))) {
            view.apply(m);
            if (!rough || chance(70)) {
                acked = view.latest_stamp;
            }
        }
    };
    for (int r = 0; r < 600; ++r) {
        for (int k = 0; k < 6; ++k) {
            const int what = static_cast<int>(random() % 6);
            if (what == 0 && ids.size() < 200) {
                ids.push_back(lamp({static_cast<float>(random() % 20000) - 10000.0f, 1.0f, 2.0f},
                                   chance(80) ? AUDIENCE_EVERYONE : 1));
            } else if (!ids.empty()) {
                const size_t i = random() % ids.size();
                const int32_t id = ids[i];
                if (what == 1) {
                    mirror.destroy(id);
                    ids.erase(ids.begin() + static_cast<long>(i));
                } else if (what == 2) {
                    mirror.set_audience(id, chance(50) ? AUDIENCE_EVERYONE : AUDIENCE_NOBODY);
                } else {
                    mirror.set_position(id, Vector{static_cast<float>(random() % 1000), 0.0f,
                                                   static_cast<float>(random() % 30000) - 15000.0f});
                    mirror.set_angles(id, static_cast<float>(random() % 7), 0.0f, 0.0f);
                }
            }
        }
        round(true);
    }
    for (int r = 0; r < 20; ++r) {
        round(false);
    }
    EXPECT_TRUE(view.errors.empty()) << view.errors[0];
    size_t visible = 0;
    for (const int32_t id : ids) {
        const SObjCommon* const o = mirror.get_common(id);
        ASSERT_NE(o, nullptr);
        const auto found = view.objects.find(static_cast<uint32_t>(id));
        if (!audience_admits(o->audience, 0)) {
            EXPECT_EQ(found, view.objects.end()) << std::hex << id;
            continue;
        }
        ++visible;
        ASSERT_NE(found, view.objects.end()) << std::hex << id;
        const UpdateRecord& s = found->second.state;
        const float offset[3] = {o->offset.x, o->offset.y, o->offset.z};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(s.offset[k], offset[k], 0.125) << std::hex << id;
        }
        EXPECT_NEAR(s.own[0], o->own_angles[0], 1.0 / 4096);
    }
    EXPECT_EQ(view.objects.size(), visible) << "no object the client may not see";
    EXPECT_GT(visible, 10u);
}

} // namespace
