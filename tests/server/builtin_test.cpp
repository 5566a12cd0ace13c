// The builtin table and the calling convention, seen from assembled scripts.
#include "builtin_fixture.h"

#include "script/kio.h"
#include "script/klabels.h"
#include "script/krun.h"
#include "server/builtin_table.h"

#include <bit>
#include <cstring>
#include <set>

namespace {

// spawnclient stores the tick rate it reads into the persistent block; the
// other functions hand their arguments to one builtin each.
const char* const PROGRAM = R"(
.global spawnclient, archive, ticks, result_kept, short_block, route_walk, info, name_of, impulse, input_type
.global input_info, routeinfo
.extern _ticks_per_second
.code
.func spawnclient, 16
    callnative @@get_cmos, 0
    push _ticks_per_second
    load1
    pushresult1
    store1
    push 1
    ret1
.func archive, 8
    push 0
    ret1
.func ticks, 8
    push _ticks_per_second
    load1
    ret1
; create_target answers 0, register_node answers nothing.
.func result_kept, 16
    push 0
    callnative @@create_target, 4
    push 0, 5
    callnative @@register_node, 8
    pushresult1
    ret1
.func short_block, 16
    push 1
    callnative @@register_node, 4
    ret
; (from x, y, z, to x, y, z): a route between two placed targets, searched; the record is routeinfo.
.func route_walk, 32
    push 0
    callnative @@create_target, 4
    push 0
    callnative @@create_target, 4
    pushargs
    load3
    push 0
    callnative @@place_target, 16
    pushargsofs 12
    load3
    push 1
    callnative @@place_target, 16
    push 0, 1
    callnative @@create_route, 8
    push routeinfo, 0, 0xFF, 0, 0
    pushresult1
    callnative @@find_route, 24
    pushresult1
    ret1
.func info, 16
    pushargsofs 4
    load1
    pushargs
    load1
    callnative @@get_node_info, 8
    pushresult1
    ret1
.func name_of, 16
    pushargs
    load1
    callnative @@get_client_name, 4
    pushresult1
    ret1
.func impulse, 16
    pushargs
    load1
    callnative @@get_input_impulse, 4
    pushresult1
    ret1
.func input_type, 16
    pushargs
    load1
    callnative @@get_input_type, 4
    pushresult1
    ret1
.func input_info, 16
    pushargs
    load1
    callnative @@get_input_info, 4
    pushresult1
    ret1
.data
routeinfo: .space 40
)";

class Builtins : public ServerFixture {
protected:
    uint32_t address(const char* name) const { return labels_address_of(server.k_context->labels, name); }

    // Runs the script function; its first result cell.
    uint32_t call(const char* name, std::initializer_list<uint32_t> args = {})
    {
        const std::vector<uint32_t> cells(args);
        EXPECT_TRUE(call_address(server.k_context, address(name), cells)) << name;
        return server.k_context->result[0];
    }
    uint32_t word(uint32_t at) const { return server.k_context->arena.word(at); }
};

TEST_F(Builtins, TheTableHoldsEveryRowInItsPlace)
{
    const kbuiltin_t* const t = builtin_table();
    EXPECT_STREQ(t[0].name, "_ticks_per_second");
    ASSERT_NE(t[0].data, nullptr);
    EXPECT_EQ(t[0].size, 4u);
    EXPECT_EQ(*static_cast<const int32_t*>(t[0].data), 70);
    std::set<std::string> names;
    for (int i = 1; i < BUILTIN_ROWS; ++i) {
        ASSERT_NE(t[i].name, nullptr) << i;
        EXPECT_EQ(t[i].name[0], '@') << t[i].name;
        EXPECT_NE(t[i].handler, nullptr) << t[i].name;
        EXPECT_EQ(t[i].data, nullptr) << t[i].name;
        names.insert(t[i].name);
    }
    EXPECT_EQ(names.size(), 144u);
    EXPECT_EQ(t[BUILTIN_ROWS].name, nullptr);
    EXPECT_EQ(t[BUILTIN_ROWS].handler, nullptr);
    // Rows at the edges of the families, where a shift would show.
    const std::pair<int, const char*> rows[] = {{1, "@get_node_info"},     {9, "@create_target"},
                                                {10, "@set_sound_frequency"}, {58, "@server_command"},
                                                {143, "@register_command"},   {144, "@set_physical_gravity"}};
    for (const auto& [row, name] : rows) {
        EXPECT_STREQ(t[row].name, name);
    }
    const krequired_t* const r = required_names();
    const char* const required[] = {"Object:unlink", "Object:start", "Object:valid", "Object:lock",
                                    "Object:unlock", "Object:init",  "spawnclient",  "archive"};
    for (int i = 0; i < REQUIRED_NAMES; ++i) {
        EXPECT_STREQ(r[i].name, required[i]);
    }
    EXPECT_EQ(r[REQUIRED_NAMES].name, nullptr);
}

TEST_F(Builtins, AnAssembledScriptLinksIsSpawnedAndReadsSeventyTicksPerSecond)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    EXPECT_EQ(call("ticks"), 70u);
    FakeClient player(&hive, "local");
    ASSERT_TRUE(spawn({&player}));
    uint32_t stored = 0;
    std::memcpy(&stored, server.k_cmos, 4);
    EXPECT_EQ(stored, 70u);
}

TEST_F(Builtins, ABuiltinWithoutAResultLeavesTheRegisterAsItWas)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    server.k_context->result[0] = 0xDEAD;
    EXPECT_EQ(call("result_kept"), 0u);
    EXPECT_EQ(server.route.node(0).value, 5u);
}

TEST_F(Builtins, RouteBuiltinsWalkTheGeneratedGraph)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    // snake4x4: the doorways are the first nodes, the rooms follow in their
    // order; the way from room r00 to room r33 leaves through the doorway
    // r00-r10, the first.
    const float from[3] = {128, 128, 64};
    const float to[3] = {896, 896, 64};
    std::vector<uint32_t> args;
    for (const float v : from) {
        args.push_back(std::bit_cast<uint32_t>(v));
    }
    for (const float v : to) {
        args.push_back(std::bit_cast<uint32_t>(v));
    }
    ASSERT_TRUE(call_address(server.k_context, address("route_walk"), args));
    EXPECT_EQ(server.k_context->result[0], 1u);
    const uint32_t doors = static_cast<uint32_t>(server.route.router_count());
    ASSERT_GT(doors, 0u);
    EXPECT_EQ(server.route.target(0).node, static_cast<int32_t>(doors));
    EXPECT_EQ(server.route.target(1).node, static_cast<int32_t>(doors + 15));
    ASSERT_TRUE(server.route.route_in_use(0));

    // The record holds node references, each a node's index plus one.
    const uint32_t record = address("routeinfo");
    const uint32_t r00 = doors + 1;
    const uint32_t r33 = doors + 16;
    const uint32_t cells[7] = {r00, r33, r00, r33, r00, r33, 1};
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(word(record + 4 * k), cells[k]) << k;
    }
    EXPECT_EQ(word(record + 4 * 7), doors + 2) << "the node after the doorway is the next room";
    EXPECT_EQ(word(record + 4 * 8), 1u) << "the doorway next to the start is the last router";
    EXPECT_EQ(word(record + 4 * 9), server.route.node(static_cast<int32_t>(doors)).cost);
    EXPECT_GT(word(record + 4 * 9), 0u);
}

} // namespace

namespace {

TEST_F(Builtins, ClientGettersReadInputImpulsesAndNamesAndSeeALogoutOnce)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    fake_client::Options o;
    o.name = "alice";
    o.administrator = true;
    FakeClient player(&hive, "local", o);
    ASSERT_TRUE(spawn({&player}));
    const uint32_t slot = static_cast<uint32_t>(slot_of("alice"));

    EXPECT_STREQ(reinterpret_cast<const char*>(server.k_context->arena.at(call("name_of", {slot}), 6)), "alice");

    player.send_impulses({5, 7});
    frame({&player});
    EXPECT_EQ(call("input_type", {slot}), 3u);
    EXPECT_EQ(call("impulse", {slot}), 5u);
    EXPECT_EQ(call("impulse", {slot}), 7u);
    EXPECT_EQ(call("input_type", {slot}), 0u);
    capture.clear();
    EXPECT_EQ(call("impulse", {slot}), 0u);
    EXPECT_TRUE(capture.contains("Server: get_input_impulse() with no impulses called !"));

    player.send_input({0.5f}, 0x6);
    player.flush();
    advance(1.0 / 70.0);
    server.frame(now, 0);
    const uint32_t block = call("input_info", {slot});
    float analog0 = 0.0f;
    std::memcpy(&analog0, server.k_context->arena.at(block, 4), 4);
    EXPECT_NEAR(analog0, 0.5f, 1e-3f);
    EXPECT_EQ(server.k_context->arena.word(block + 40), 0x6u) << "current state bits";
    EXPECT_EQ(server.client[slot].input_latch, 1);

    player.close();
    frame();
    ASSERT_EQ(server.client[slot].state, SCSTATE_LOGGINGOUT);
    EXPECT_EQ(call("input_type", {slot}), 2u);
    EXPECT_EQ(call("input_type", {slot}), 0u) << "only once";
    EXPECT_EQ(server.client[slot].state, SCSTATE_DROP);
    frame();
    EXPECT_EQ(server.client[slot].state, SCSTATE_FREE);
    capture.clear();
    EXPECT_EQ(call("impulse", {slot}), 0u);
    EXPECT_TRUE(capture.contains("Server: Client not spawned in get_input_impulse()"));
}

TEST_F(Builtins, ScriptFaultsEndTheProgramNamingTheBuiltin)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    using Case = ScriptEnd;
    const Case cases[] = {
        {"short_block", {}, "KRun: @register_node: 4 argument bytes given, 8 needed, at 0x[0-9a-f]+ \\(short_block"},
        {"name_of", {0xFFFFFFFF}, "KRun: @get_client_name: client >= 0 failed"},
        {"name_of", {32}, "KRun: @get_client_name: client < SERVER_MAXCLIENTS failed"},
        {"input_info", {3}, "KRun: @get_input_info: sc.state == SCSTATE_SPAWNED"},
        {"info", {address("routeinfo"), 100000}, "KRun: @get_node_info: ref <= "},
        {"info", {0x10, 1}, "KRun: bad address 0x00000010"},
    };
    expect_each_ends_the_script(server.k_context, cases);
}

} // namespace

namespace {

// Scripts that poll every slot's input type in every tick, from the first.
const char* const POLLING_SCRIPT = R"(
.global spawnclient, archive, _init_0_
.code
.func spawnclient, 8
    push 1
    ret1
.func archive, 8
    push 0
    ret1
.func _init_0_, 32
.tick:
    push 0
.slot:
    dup1
    callnative @@get_input_type, 4
    push 1
    add
    dup1
    push 32
    sub
    jgt .slot
    pop1
    push 1
    wait
    jump .tick
)";

// A client that logs out just before a map change has nothing left in the
// new world: the new map's scripts, polling it in their first tick, do not
// meet it half gone.
TEST_F(Builtins, AClientLoggingOutAcrossAMapChangeIsDropped)
{
    ASSERT_NO_FATAL_FAILURE(start_world(POLLING_SCRIPT));
    FakeClient player(&hive, "local", fake_client::Options{});
    ASSERT_TRUE(spawn({&player}));
    const int slot = slot_of(player.options().name);
    ASSERT_GE(slot, 0);

    player.close();
    server.frame(now, 0); // no time has passed: no tick polls it in the old world
    ASSERT_EQ(server.client[slot].state, SCSTATE_LOGGINGOUT);
    ASSERT_EQ(server.start_map("snake", nullptr), 1) << printed();
    EXPECT_EQ(server.client[slot].state, SCSTATE_DROP);
    // The new world's first camera takes the old one's identifier.
    const int32_t camera = server.mirror.create(OBJCLASS_CAMERA, 0, false);
    ASSERT_GE(camera, 0);
    frame();
    const SObjCommon* const kept = server.mirror.get_common(camera);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->flags & SOBJF_DESTROY, 0u) << "the leaving client destroys nothing of the new world";
    EXPECT_EQ(server.client[slot].state, SCSTATE_FREE);
    EXPECT_EQ(server.clients, 0);
}

} // namespace
