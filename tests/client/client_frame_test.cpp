// The client object: its variables, the frame's clocks, interpolation, the
// variable check and the profile lines.
#include "client_fixture.h"

#include "core/kheap.h"

#include <bit>
#include <cstring>

namespace {

TEST(ClientTick, IsTheExactDouble)
{
    EXPECT_EQ(std::bit_cast<uint64_t>(CLIENT_TICK), 0x3F8D41D41D41D41Aull);
}

TEST_F(ClientTest, VariablesWithTheirTypesDefaultsAndFlags)
{
    struct Row {
        const char* name;
        int type;
        int32_t value; // as an integer: a String counts its length
        uint32_t flags;
    };
    const Row rows[] = {
        {"Client_Name", CVTYPE_STRING, 9, 0x100},   {"Client_CPS", CVTYPE_INT, 20000, 0x100},
        {"Client_Player", CVTYPE_BOOL, 1, 0x100},   {"Client_Cheater", CVTYPE_BOOL, 0, 0x100},
        {"Client_Administrator", CVTYPE_BOOL, 0, 0x100}, {"Quit", CVTYPE_BOOL, 0, 0},
        {"Profile", CVTYPE_BOOL, 0, 0x100},         {"KHeap_Info", CVTYPE_BOOL, 0, 0x100},
        {"Animation", CVTYPE_BOOL, 0, 0x100},       {"TimeDemo", CVTYPE_INT, 0, 0x100},
        {"MMX", CVTYPE_BOOL, 1, 0x100},             {"Snd_Profile", CVTYPE_BOOL, 0, 0x100},
        {"Net_Stats", CVTYPE_INT, 0, 0x100},        {"AsmCycles", CVTYPE_BOOL, 0, 0x100},
        {"Net_SizeStats", CVTYPE_BOOL, 0, 0x100},
    };
    EXPECT_STREQ(var("Client_Name")->string(), "Anonymous");
    for (const Row& r : rows) {
        ConfigVariable* const v = var(r.name);
        ASSERT_NE(v, nullptr) << r.name;
        EXPECT_EQ(v->type(), r.type) << r.name;
        EXPECT_EQ(v->int_value(), r.value) << r.name;
        EXPECT_EQ(v->flags() & ~CVFMASK_INTERNAL, r.flags) << r.name;
        EXPECT_GT(v->lock(), 0) << r.name;
    }
    client_.reset();
    for (const Row& r : rows) {
        EXPECT_EQ(var(r.name), nullptr) << r.name << " released at shutdown";
    }
}

TEST_F(ClientTest, ClientClockAdvancesInWholeTicks)
{
    ASSERT_EQ(frame(1.0), 1);
    EXPECT_EQ(client_->time_local(), now()) << "the first frame sets the clock";
    EXPECT_EQ(client_->client_ticks_frame(), 0);
    const int32_t before = client_->client_ticks();
    ASSERT_EQ(frame(0.05), 1);
    EXPECT_EQ(client_->client_ticks_frame(), 3);
    EXPECT_EQ(client_->client_ticks(), before + 3);
    EXPECT_DOUBLE_EQ(client_->time_local(), 1.0 + 3 * CLIENT_TICK);
    ASSERT_EQ(frame(0.0), 1);
    EXPECT_EQ(client_->client_ticks_frame(), 0);
}

TEST_F(ClientTest, QuitFromABufferedCommandEndsThatFrameBeforeSending)
{
    connect_and_accept();
    server_->receive();
    server_->inputs.clear();
    ASSERT_EQ(client_->cons_cmd()->add_text("Quit"), 1);
    EXPECT_EQ(frame(), 0);
    server_->receive();
    EXPECT_TRUE(server_->inputs.empty()) << "no input after the variable check said stop";
    EXPECT_TRUE(var("Quit")->is_true());
}

TEST_F(ClientTest, CheaterChangesOnlyWhileDisconnected)
{
    ConfigVariable* const cheat = cvar_list->link(CVTYPE_BOOL, 0x120, "Cheat_Var", nullptr, 0);
    frame();
    EXPECT_FALSE(client_->cons_cmd()->may_write(cheat));
    var("Client_Cheater")->set_bool(1);
    frame();
    EXPECT_TRUE(client_->cons_cmd()->may_write(cheat)) << "the permissions follow at the next frame";
    cheat->set_bool(1);

    connect_and_accept();
    EXPECT_EQ(server_->request().cheater, 1);
    var("Client_Cheater")->set_bool(0);
    frame();
    EXPECT_TRUE(var("Client_Cheater")->is_true()) << "restored while connected";
    EXPECT_TRUE(capture_->contains("Client: Must be disconnected to change 'cheater'"));
    run("Disconnect");
    var("Client_Cheater")->set_bool(0);
    frame();
    EXPECT_FALSE(cheat->is_true()) << "cheat-flagged variables go back to their defaults";
    EXPECT_FALSE(client_->cons_cmd()->may_write(cheat));
    cvar_list->release(cheat);
}

// main.cfg connects in the first frame, before the first variable check: the
// link of Client_Cheater is no change, and the permissions already hold.
TEST_F(ClientTest, ConnectingInTheFirstFrameLeavesTheCheaterFlagAlone)
{
    ConfigVariable* const cheat = cvar_list->link(CVTYPE_BOOL, 0x120, "Cheat_Var", nullptr, 0);
    EXPECT_FALSE(client_->cons_cmd()->may_write(cheat)) << "no cheating before the first frame";
    ASSERT_EQ(client_->cons_cmd()->add_text("Connect local"), 1);
    frame();
    EXPECT_NE(client_->net_state(), CSTATE_DISCONNECTED);
    EXPECT_FALSE(capture_->contains("Client: Must be disconnected to change 'cheater'"));
    EXPECT_FALSE(client_->cons_cmd()->may_write(cheat));
    cvar_list->release(cheat);
}

TEST_F(ClientTest, InterpolationFollowsTheUpdates)
{
    make_map("m1");
    connect_and_accept();
    load_map("m1");
    server_->send_update(100, {});
    server_->flush();
    frame(0.02);
    EXPECT_DOUBLE_EQ(client_->interpolation_clock(), 100 * CLIENT_TICK) << "one update: the clock is its time";
    EXPECT_EQ(client_->interpolation_ticks(), 0);
    server_->send_update(102, {});
    server_->flush();
    frame(0.05);
    EXPECT_DOUBLE_EQ(client_->time_oldtransform(), 100 * CLIENT_TICK);
    EXPECT_DOUBLE_EQ(client_->time_transform(), 102 * CLIENT_TICK);
    EXPECT_EQ(client_->interpolation_ticks_frame(), 2) << "up to the latest update, not beyond";
    EXPECT_NEAR(client_->interpolation_clock(), 102 * CLIENT_TICK, 1e-12);
    EXPECT_EQ(renderer()->time(), client_->interpolation_ticks());

    // Far behind the older update: catches up without regard to the budget.
    server_->send_update(110, {});
    server_->flush();
    frame(0.0);
    EXPECT_EQ(client_->interpolation_ticks_frame(), 0) << "no budget";
    server_->send_update(120, {});
    server_->flush();
    frame(0.0);
    EXPECT_EQ(client_->interpolation_ticks_frame(), 110 - 102) << "reaches the older update within 0.001 s";
    EXPECT_EQ(client_->interpolation_ticks(), 10);
}

TEST_F(ClientTest, StampJumpsDoNotHoldTheFrame)
{
    make_map("m1");
    connect_and_accept();
    load_map("m1");
    for (const uint32_t stamp : {1u, 2000000000u, 2000000001u}) {
        server_->send_update(stamp, {});
        server_->flush();
        frame(0.02);
    }
    EXPECT_NEAR(client_->interpolation_clock(), 2000000000 * CLIENT_TICK, 2 * CLIENT_TICK)
        << "caught up with the older update at once";
    EXPECT_GT(client_->interpolation_ticks_frame(), 1999999000);
}

TEST_F(ClientTest, ProfileAndStatisticLines)
{
    kheap = new KHeap;
    ASSERT_EQ(kheap->init(1 << 20, 0), 1);
    for (const char* name : {"Profile", "KHeap_Info"}) {
        var(name)->set_bool(1);
    }
    var("Net_Stats")->set_int(2);
    connect_and_accept();
    frame(0.05);
    const Console* const c = client_->console();
    std::vector<std::string> texts;
    for (int i = 0; i < CONSOLE_TAGGED; ++i) {
        if (c->tag(i) != 0) {
            texts.emplace_back(c->tagged_text(i));
        }
    }
    const auto has = [&](const std::string& prefix) {
        return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("Client: ")) << "ClPr";
    EXPECT_TRUE(has("KHeap: Low ")) << "KHNf";
    EXPECT_TRUE(has("Net: Out: ")) << "NCps";
    EXPECT_TRUE(has("RO: ")) << "NSRO";
    EXPECT_TRUE(has("UI: "));
    EXPECT_GE(client_->section(SECTION_TOTAL), 0.0);
    client_.reset();
    delete kheap;
}

TEST_F(ClientTest, TrafficCountersAreReadAndZeroed)
{
    connect_and_accept();
    var("Net_Stats")->set_int(1);
    frame(0.05);
    const NetSocket* const s = client_->socket();
    ASSERT_NE(s, nullptr);
    for (const NetTraffic& t : s->traffic) {
        EXPECT_EQ(t.bytes, 0);
        EXPECT_EQ(t.messages, 0);
    }
}

} // namespace
