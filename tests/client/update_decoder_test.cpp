#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "fake_server.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// A class whose own part is one 8-bit value; it logs what the decoder asks.
class Probe final : public CObjManager {
public:
    int net_update(int index, uint32_t mask, NetStreamIn& s) override
    {
        values[index] = s.read_bits(8);
        masks[index] = mask;
        log += "u" + std::to_string(index);
        return refuse_update ? 0 : 1;
    }
    int link(int index) override
    {
        log += "l" + std::to_string(index);
        return refuse_link ? 0 : 1;
    }
    int unlink(int index, int force) override
    {
        log += (force ? "U" : "k") + std::to_string(index);
        return force != 0 || !keep_removed ? 1 : 0;
    }

    uint32_t values[64] = {};
    uint32_t masks[64] = {};
    std::string log;
    bool refuse_link = false;
    bool refuse_update = false;
    bool keep_removed = false;
};

fake::Object object(uint32_t cls, uint32_t index, uint32_t mask, uint32_t value)
{
    fake::Object o;
    o.object_class = cls;
    o.index = index;
    o.mask = mask;
    o.class_part = [value](NetStreamOut& s) { s.write_bits(value, 8); };
    return o;
}

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvar_list = &variables_;
        capture_.show_all();
        decoder_ = std::make_unique<UpdateDecoder>();
        ASSERT_EQ(probe_.create(64, 1), 1);
        ASSERT_EQ(camera_.create(1, 1), 1);
        decoder_->register_class(3, &probe_);
        decoder_->register_class(10, &camera_);
    }
    void TearDown() override
    {
        decoder_.reset();
        cvar_list = nullptr;
    }

    UpdateResult decode(uint32_t stamp, const std::vector<fake::Object>& objects, int32_t cut_bits = 0)
    {
        int32_t bits = 0;
        std::vector<uint8_t> bytes = fake::Server::update_payload(stamp, objects, bits);
        NetStreamIn in;
        in.attach(bytes.data(), bits - cut_bits);
        const UpdateResult r = decoder_->net_update(in);
        in.detach();
        return r;
    }

    int slot_of(uint32_t cls, uint32_t index)
    {
        return (cls == 10 ? static_cast<CObjManager&>(camera_) : probe_).find(make_object_id(cls, 0, index));
    }

    ConfigVariableList variables_;
    PrintCapture capture_;
    std::unique_ptr<UpdateDecoder> decoder_;
    Probe probe_;
    Probe camera_;
};

TEST(UpdateFields, DecodeLikeTheWire)
{
    struct Case {
        const char* name;
        float (*decode)(uint32_t);
        uint32_t raw;
        float expected;
    };
    const Case cases[] = {
        {"20-bit zero is the far negative edge", decode_coord20, 0, -65536.0f},
        {"20-bit all ones", decode_coord20, 0xFFFFF, 65535.875f},
        {"20-bit middle is the origin", decode_coord20, 0x80000, 0.0f},
        {"17-bit middle is the origin", decode_coord17, 0x10000, 0.0f},
        {"17-bit zero", decode_coord17, 0, -8192.0f},
        {"17-bit eighths", decode_coord17, 0x10003, 0.375f},
        {"12-bit quarter turn", decode_angle12, 1024, 1.5707964f},
        {"14-bit quarter turn", decode_angle14, 4096, 1.5707964f},
        {"12-bit zero", decode_angle12, 0, 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.decode(c.raw), c.expected) << c.name;
    }
    EXPECT_EQ(std::bit_cast<uint32_t>(decode_angle12(4096)), 0x40C90FDBu) << "a whole turn is the float 2 pi";
}

TEST_F(DecoderTest, StampsOrderTheMessages)
{
    EXPECT_EQ(decode(5, {object(3, 1, 0x2000 | 0x400, 7)}), UpdateResult::applied);
    EXPECT_EQ(decoder_->latest_stamp, 5);
    EXPECT_EQ(decoder_->previous_stamp, -1);
    EXPECT_EQ(decode(5, {object(3, 1, 0, 9)}), UpdateResult::duplicate);
    EXPECT_TRUE(capture_.contains("Client: Got duplicate update message"));
    EXPECT_EQ(probe_.values[slot_of(3, 1)], 7u) << "an equal stamp is ignored whatever it holds";
    EXPECT_EQ(decode(4, {object(3, 1, 0, 9)}), UpdateResult::stale);
    EXPECT_TRUE(capture_.contains("Client: Got stale update message"));
    EXPECT_EQ(decode(9, {object(3, 1, 0, 9)}), UpdateResult::applied);
    EXPECT_EQ(decoder_->previous_stamp, 5);
    EXPECT_EQ(decoder_->latest_stamp, 9);
    EXPECT_EQ(probe_.values[slot_of(3, 1)], 9u);
}

TEST_F(DecoderTest, CommonFieldsIntoTheRecord)
{
    fake::Object o = object(3, 300, 0x3FF | 0x400 | 0x2000 | 0x1000, 1);
    o.position[0] = -65536.0f;
    o.position[1] = 65535.875f;
    o.position[2] = 12.5f;
    o.position2[0] = 1.0f;
    o.position2[1] = 2.0f;
    o.position2[2] = -3.0f;
    o.angles[0] = 0.25f;
    o.angles2[2] = 0.5f;
    fake::Object narrow = object(3, 200, 0x1 | 0x8 | 0x2000 | 0x400, 2);
    narrow.wide_index = true;
    narrow.position[0] = -8192.0f;
    narrow.angles[0] = 0.25f;
    fake::Object cam = object(10, 0, 0x8 | 0x2000 | 0x400, 3);
    cam.angles[0] = 1.0f / 16384.0f;
    ASSERT_EQ(decode(1, {o, narrow, cam}), UpdateResult::applied);
    const CObjCommon& c = probe_.common(slot_of(3, 300));
    EXPECT_EQ(c.pose[0].position.x, -65536.0f);
    EXPECT_EQ(c.pose[0].position.y, 65535.875f);
    EXPECT_EQ(c.pose[0].position.z, 12.5f);
    EXPECT_EQ(c.pose[1].position.z, -3.0f);
    EXPECT_FLOAT_EQ(c.pose[0].a, 1.5707964f);
    EXPECT_FLOAT_EQ(c.pose[1].c, 3.1415927f);
    const CObjCommon& n = probe_.common(slot_of(3, 200));
    EXPECT_EQ(n.pose[0].position.x, -8192.0f) << "index 200 in the wide form";
    EXPECT_FLOAT_EQ(n.pose[0].a, 1.5707964f);
    EXPECT_EQ(probe_.masks[slot_of(3, 200)], 0x1u | 0x8u | 0x2000u | 0x400u);
    EXPECT_FLOAT_EQ(camera_.common(0).pose[0].a, 6.2831855f / 16384.0f) << "the camera's angles have 14 bits";
    EXPECT_EQ(camera_.values[0], 3u);
}

TEST_F(DecoderTest, UnknownObjectsEndTheMessageAfterWhatCameBefore)
{
    ASSERT_EQ(decode(1, {object(3, 1, 0x2400, 1)}), UpdateResult::applied);
    EXPECT_EQ(decode(2, {object(3, 1, 0, 5), object(3, 2, 0, 6), object(3, 1, 0, 7)}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Object 0x300002 does not exist"));
    EXPECT_EQ(probe_.values[slot_of(3, 1)], 5u) << "the record before stays, the one after is lost";
    EXPECT_EQ(decoder_->latest_stamp, 2) << "the stamp advanced anyway";
    EXPECT_EQ(decode(3, {object(7, 1, 0x2400, 1)}), UpdateResult::damaged);
    EXPECT_TRUE(capture_.contains("Net update: Unregistered object class 7 !"));
    EXPECT_EQ(decoder_->damaged_messages, 2);
}

TEST_F(DecoderTest, RemovedObjectsKeptByTheirClass)
{
    probe_.keep_removed = true;
    ASSERT_EQ(decode(1, {object(3, 4, 0x2400, 1)}), UpdateResult::applied);
    const int first = slot_of(3, 4);
    ASSERT_EQ(decode(2, {fake::removal(3, 4)}), UpdateResult::applied);
    EXPECT_NE(probe_.common(first).state & COBJ_REMOVED, 0u);
    EXPECT_EQ(decode(3, {object(3, 4, 0, 2)}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Update received for released object"));
    probe_.log.clear();
    ASSERT_EQ(decode(4, {object(3, 4, 0x2400, 3)}), UpdateResult::applied);
    EXPECT_TRUE(capture_.contains("Net update: Prekill (0x300004)"));
    const int second = slot_of(3, 4);
    EXPECT_EQ(probe_.log, "U" + std::to_string(first) + "l" + std::to_string(second) + "u" + std::to_string(second));
    EXPECT_EQ(probe_.common(second).state & COBJ_REMOVED, 0u);
    probe_.keep_removed = false;
    ASSERT_EQ(decode(5, {fake::removal(3, 4), fake::removal(3, 9)}), UpdateResult::applied) << "removing an unknown object is quiet";
    EXPECT_EQ(slot_of(3, 4), -1);
}

TEST_F(DecoderTest, ClassRefusalsEndTheMessage)
{
    probe_.refuse_link = true;
    EXPECT_EQ(decode(1, {object(3, 1, 0x2400, 1)}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Can't allocate new type-specific object"));
    EXPECT_EQ(slot_of(3, 1), -1) << "the slot went back";
    probe_.refuse_link = false;
    probe_.refuse_update = true;
    EXPECT_EQ(decode(2, {object(3, 1, 0x2400, 1)}), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Can't update object " + std::to_string(slot_of(3, 1)) + " !"));
    std::vector<fake::Object> many;
    for (uint32_t i = 0; i < 2; ++i) {
        many.push_back(object(10, i, 0x2400, 1));
    }
    probe_.refuse_update = false;
    EXPECT_EQ(decode(3, many), UpdateResult::ended);
    EXPECT_TRUE(capture_.contains("Net update: Can't allocate new common object"));
}

TEST_F(DecoderTest, CutMessagesChangeNothingOfTheCutRecord)
{
    ASSERT_EQ(decode(1, {object(3, 1, 0x2400, 1)}), UpdateResult::applied);
    fake::Object moved = object(3, 1, 0x7, 2);
    moved.position[0] = 100.0f;
    // Every cut inside the second record: the first applies, the second changes nothing.
    int32_t bits = 0;
    const int32_t whole = static_cast<int32_t>(fake::Server::update_payload(2, {moved}, bits).size());
    (void)whole;
    for (int32_t cut = 1; cut < bits - 32; ++cut) {
        probe_.common(slot_of(3, 1)).pose[0].position.x = 0.0f;
        const UpdateResult r = decode(static_cast<uint32_t>(10 + cut), {moved}, cut);
        EXPECT_EQ(r, UpdateResult::damaged) << cut;
        if (cut > 8) {
            EXPECT_EQ(probe_.common(slot_of(3, 1)).pose[0].position.x, 0.0f) << cut;
        }
    }
    EXPECT_EQ(decode(1000, {}, 1), UpdateResult::damaged) << "a stamp cut short";
}

TEST_F(DecoderTest, SizeStatsReportOneMessage)
{
    cvar_list->find("Net_SizeStats")->set_bool(1);
    ASSERT_EQ(decode(1, {object(3, 1, 0x2400, 1), fake::removal(3, 1)}), UpdateResult::applied);
    EXPECT_TRUE(capture_.contains("Object update message sizes:"));
    EXPECT_TRUE(capture_.contains("Object 0x300001 - 40 bits"));
    EXPECT_TRUE(capture_.contains("Object 0x300001 kill - 18 bits"));
    EXPECT_TRUE(capture_.contains("Total - 40 bits (5 bytes)"));
    EXPECT_FALSE(cvar_list->find("Net_SizeStats")->is_true());
    capture_.clear();
    ASSERT_EQ(decode(2, {object(3, 1, 0x2400, 1)}), UpdateResult::applied);
    EXPECT_FALSE(capture_.contains("Total"));
}

} // namespace
