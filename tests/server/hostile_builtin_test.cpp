// Every builtin called with cells a hostile script would choose: bad, stale
// and foreign ids, clients and entities past the last, NaN, infinities and
// huge floats, addresses outside script memory. A call either returns or
// ends the program with "KRun: ...!" and exit code 255; nothing else (a
// host assertion, a signal, a sanitizer report, a hang) may happen.
#include "builtin_fixture.h"

#include "script/kio.h"
#include "server/builtin_table.h"
#include "server/object_id.h"
#include "server/physics_entity.h"
#include "tools/tmm/tmm_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Argument cells every forwarder hands on: the most any builtin reads.
constexpr int CELLS = 13;
// Calls between two server frames of the long run.
constexpr uint32_t FRAME_EVERY = 4;
// The exit code of a child whose calls closed the map (with "@exit"): the next call starts afresh.
constexpr int MAP_CLOSED = 254;

// Trigger functions (argument, object, trigger) that run triggers again
// without end: the argument is the entity.
const char* const TRIGGER_FUNCTIONS = R"(
.global few, again, go_out, go_in
.func few, 16
    push 0
    ret1
.func again, 32
    push 6, 6
    pushargs
    load1
    callnative @@activate_entity_triggers, 12
    ret
.func go_out, 32
    push 0x44480000, 0x43800000, 0x42480000
    pushargs
    load1
    callnative @@set_physical_position, 16
    ret
.func go_in, 32
    push 0x44834000, 0x43800000, 0x42480000
    pushargs
    load1
    callnative @@set_physical_position, 16
    ret
)";

// A forwarder per row of the table, named "row<N>".
struct Rows {
    std::vector<std::string> functions;
    std::vector<std::string> builtins;
    std::string program;
};

const Rows& rows()
{
    static const Rows r = [] {
        Rows out;
        const kbuiltin_t* const table = builtin_table();
        for (int row = 1; row < BUILTIN_ROWS; ++row) {
            out.functions.push_back("row" + std::to_string(row));
            out.builtins.push_back(table[row].name + 1); // without the '@'
        }
        std::vector<Forwarder> f;
        for (size_t k = 0; k < out.functions.size(); ++k) {
            f.push_back({out.functions[k].c_str(), out.builtins[k].c_str(), CELLS});
        }
        out.program = forwarding_program(f, std::string(SCRATCH_DATA) + TRIGGER_FUNCTIONS);
        return out;
    }();
    return r;
}


// The texts put in script memory for string and format arguments.
const char* const TEXTS[] = {
    "walker", "hum", "health", "ball", "",
    "%s %d %f %x %c %u %p %n %%", "%99999999d%.99999999f%-2147483648s", "%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f",
    "%s%s%s%s%s%s%s%s%s%s%s%s", "quit", "CloseMap; CloseMap", "echo %s %s",
};

// OSTREL_HOSTILE_CALLS (calls per row) and OSTREL_HOSTILE_SEED make a longer run.
int from_environment(const char* name, int otherwise)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::atoi(v) : otherwise;
}

// One call of a builtin with its cells.
struct Call {
    int row;
    std::array<uint32_t, CELLS> cells;
};

std::string describe(const Call& call)
{
    std::string text = std::string(builtin_table()[call.row].name) + "(";
    char hex[16];
    for (int k = 0; k < CELLS; ++k) {
        std::snprintf(hex, sizeof hex, "%s0x%X", k ? ", " : "", call.cells[static_cast<size_t>(k)]);
        text += hex;
    }
    return text + ")";
}

// The end of one forked run of calls.
struct Outcome {
    int status;
    std::string output;
};

class HostileBuiltins : public BuiltinTextsOn<ServerFixture> {
protected:
    // The map's room description.
    virtual const char* rooms() const { return "snake4x4"; }

    void SetUp() override
    {
        BuiltinTextsOn<ServerFixture>::SetUp();
        ASSERT_NO_FATAL_FAILURE(write_map("hostile", rooms()));
        ASSERT_NO_FATAL_FAILURE(write_scripts(rows().program.c_str()));
        ASSERT_EQ(server.start_map("hostile", nullptr), 1) << printed();
        ASSERT_TRUE(spawn({&player}));
        var("S_FrameTicks")->set_int(1);
        camera = server.client[slot_of("fake")].camera_id;
        server.mirror.set_position(camera, Vector{128.0f, 128.0f, 64.0f});
        tree.write("models/walker.tmm", tmm::write_model(tmm::demo_walker()));
        for (const char* t : TEXTS) {
            texts_.push_back(put_text(t));
        }
        // Texts longer than any builtin's buffer, and formats that write far more.
        texts_.push_back(put_text(std::string(1500, 'x')));
        std::string wide;
        for (int k = 0; k < 300; ++k) {
            wide += "%99d";
        }
        texts_.push_back(put_text(wide));
        progress_ = static_cast<uint32_t*>(
            mmap(nullptr, sizeof(uint32_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(progress_, MAP_FAILED);
        make_objects();
        build_table();
    }
    void TearDown() override
    {
        if (progress_ != nullptr) {
            munmap(progress_, sizeof(uint32_t));
        }
        player.close();
        BuiltinTextsOn<ServerFixture>::TearDown();
    }

    int row_of(const char* builtin) const
    {
        for (int row = 1; row < BUILTIN_ROWS; ++row) {
            if (std::strcmp(builtin_table()[row].name + 1, builtin) == 0) {
                return row;
            }
        }
        ADD_FAILURE() << builtin;
        return 1;
    }
    // Runs a builtin in this process with the cells given, the rest 0; its first result cell.
    uint32_t run(const char* builtin, std::vector<uint32_t> cells)
    {
        cells.resize(CELLS, 0);
        return call(rows().functions[static_cast<size_t>(row_of(builtin) - 1)].c_str(), cells)[0];
    }

    // Live objects of every class a script makes, stale ids of destroyed
    // ones, and physics entities.
    void make_objects()
    {
        const uint32_t lamp = run("create_lamp", {});
        const uint32_t made[] = {
            lamp,
            run("create_light", {lamp}),
            run("create_lensflare", {}),
            run("create_particles", {100}),
            run("create_sound", {texts_[1], 1}),
            run("create_icon", {0, 0, 16, 16}),
            run("create_mesh_model", {texts_[0]}),
            run("create_sprite", {texts_[3]}),
            run("create_bsp_model", {0}),
        };
        icon_ = made[5];
        for (uint32_t id : made) {
            if (id != u(-1)) {
                live_.push_back(id);
            }
        }
        live_.push_back(u(camera));
        // Targets on the map's route graph and a route between them: ids 0-255 like the hostile small numbers.
        if (server.route.loaded()) {
            const uint32_t from = run("create_target", {1});
            const uint32_t to = run("create_target", {2});
            run("place_target", {to, cell(300), cell(300), cell(50)});
            run("create_route", {from, to});
        }
        // A second of the first classes, destroyed: stale ids.
        stale_.push_back(run("create_lamp", {}));
        run("destroy_lamp", {stale_.back()});
        stale_.push_back(run("create_particles", {10}));
        run("destroy_visual", {stale_.back()});
        const uint32_t mesh = run("create_mesh_model", {texts_[0]});
        if (mesh != u(-1)) {
            stale_.push_back(mesh);
            run("destroy_visual", {mesh});
        }
        for (int k = 0; k < 3; ++k) {
            // Bodies that move and meet triggers.
            const uint32_t e = run("create_physical", {0x77, cell(8), cell(8), cell(8), u(-1),
                                                       PHYS_MOVING | PHYS_GROUND_CONTACT});
            if (e != u(-1)) {
                entities_.push_back(e);
            }
        }
        if (!entities_.empty()) {
            stale_.push_back(entities_.back());
            run("destroy_physical", {entities_.back()});
            entities_.pop_back();
        }
    }

    void build_table()
    {
        const kcontext_t* const c = server.k_context;
        const float floats[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                3e38f, -3e38f, -0.0f, 1e-45f, 1e-30f, 1e30f, 0.5f, 1.0f, 64.0f, 1e9f, -1e9f};
        for (float f : floats) {
            hostile_.push_back(cell(f));
        }
        const uint32_t ints[] = {0, 1, 2, 3, 15, 16, 17, 63, 64, 255, 256, 257, 4096, 0x7FFFFFFF, 0x80000000,
                                 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFF00, 0x00C00001, 0x00800000, 0xFF000000};
        hostile_.insert(hostile_.end(), std::begin(ints), std::end(ints));
        // Addresses: the reserved start, around the arena's ends, the code, the data.
        const uint32_t addresses[] = {
            4, KARENA_LOW - 4, KARENA_LOW, KARENA_LOW + 1, c->arena.mark(), c->arena.size() - 1, c->arena.size(),
            c->arena.size() + 4, 0xFFFFFFFC, address("few"), address("row1"), address("scratch") + SCRATCH_BYTES - 1,
        };
        hostile_.insert(hostile_.end(), std::begin(addresses), std::end(addresses));
        hostile_.insert(hostile_.end(), stale_.begin(), stale_.end());
        // Ids of a live object with another class's bits.
        for (uint32_t id : live_) {
            hostile_.push_back(id ^ 0x00100000u);
            hostile_.push_back(id + 1);
        }
        valid_ = live_;
        valid_.insert(valid_.end(), entities_.begin(), entities_.end());
        valid_.insert(valid_.end(), texts_.begin(), texts_.end());
        valid_.push_back(0);
    }

    // Calls of each row, drawn with a fixed seed: each cell hostile or valid.
    std::vector<Call> draw(uint32_t seed, int per_row) const
    {
        std::mt19937 random(seed);
        std::vector<Call> calls;
        for (int row = 1; row < BUILTIN_ROWS; ++row) {
            for (int n = 0; n < per_row; ++n) {
                Call call{row, {}};
                // A mix of cells; or a good first cell (most builtins take an object or entity there)
                // and hostile ones after it, all alike or drawn each.
                const uint32_t mode = random() % 3;
                const uint32_t same = hostile_[random() % hostile_.size()];
                for (size_t k = 0; k < call.cells.size(); ++k) {
                    const bool good = mode == 0 ? random() % 2 == 0 : k == 0;
                    const std::vector<uint32_t>& from = good ? valid_ : hostile_;
                    call.cells[k] = mode == 2 && !good ? same : from[random() % from.size()];
                }
                calls.push_back(call);
            }
        }
        return calls;
    }

    // Runs the calls from `first` in a forked child until one ends the child.
    Outcome run_forked(const std::vector<Call>& calls, uint32_t first, uint32_t frame_every)
    {
        FILE* out = std::tmpfile();
        if (out == nullptr) {
            ADD_FAILURE() << "no file for the child's output";
            return {0, ""};
        }
        *progress_ = first;
        // What this process has buffered must not reach the child's output.
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fileno(out), 1);
            dup2(fileno(out), 2);
            // A call that ends the script does so through exit(): the code is
            // kept, the teardown of the test program's statics (the same each
            // time, and every page it writes copied from the parent) is not.
            on_exit([](int code, void*) {
                std::fflush(nullptr);
                _exit(code);
            }, nullptr);
            kcontext_t* const c = server.k_context;
            kio_defaults(c);
            for (uint32_t k = first; k < calls.size(); ++k) {
                *progress_ = k;
                // A bound on one call, so that a hang ends as a signal.
                alarm(60);
                const Call& call = calls[k];
                call_address(c, address(rows().functions[static_cast<size_t>(call.row - 1)].c_str()), call.cells);
                // What the calls left in the world must also survive a frame that sends it.
                if (k % frame_every == frame_every - 1) {
                    frame({&player});
                    if (server.map_name[0] == '\0') {
                        _exit(MAP_CLOSED);
                    }
                }
            }
            std::fflush(nullptr);
            _exit(0);
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        std::string output;
        std::rewind(out);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0 && output.size() < 65536;) {
            output.append(buffer, n);
        }
        std::fclose(out);
        return {status, output};
    }

    // Every call returns or ends with its "KRun:" line; the calls that did not, with what happened.
    std::vector<std::string> faults(const std::vector<Call>& calls, uint32_t frame_every, int* forks = nullptr)
    {
        std::vector<std::string> found;
        uint32_t first = 0;
        while (first < calls.size()) {
            const Outcome o = run_forked(calls, first, frame_every);
            if (forks != nullptr) {
                ++*forks;
            }
            const uint32_t at = *progress_;
            const bool sanitizer = o.output.find("runtime error") != std::string::npos ||
                                   o.output.find("Sanitizer") != std::string::npos ||
                                   o.output.find("Fatal:") != std::string::npos;
            const bool returned = WIFEXITED(o.status) && WEXITSTATUS(o.status) == 0;
            const bool ended = WIFEXITED(o.status) && WEXITSTATUS(o.status) == 255 &&
                               o.output.find("KRun: ") != std::string::npos;
            if (!sanitizer && returned) {
                break;
            }
            const bool closed = WIFEXITED(o.status) && WEXITSTATUS(o.status) == MAP_CLOSED;
            if (sanitizer || (!ended && !closed)) {
                const bool hang = WIFSIGNALED(o.status) && WTERMSIG(o.status) == SIGALRM;
                const std::string how = WIFSIGNALED(o.status)
                                            ? "signal " + std::to_string(WTERMSIG(o.status)) + (hang ? " (a hang)" : "")
                                            : "exit code " + std::to_string(WEXITSTATUS(o.status));
                const size_t tail = o.output.size() > 2000 ? o.output.size() - 2000 : 0;
                found.push_back(describe(calls[at]) + " (or the frame after it) ended with " + how + ":\n" +
                                o.output.substr(tail));
            }
            first = at + 1;
        }
        return found;
    }

    // A call of the builtin with the cells given, the rest 0.
    Call one(const char* builtin, std::vector<uint32_t> cells) const
    {
        Call call{row_of(builtin), {}};
        std::copy_n(cells.begin(), std::min<size_t>(cells.size(), CELLS), call.cells.begin());
        return call;
    }

    // Random calls of every row with the seed.
    void expect_no_faults(uint32_t seed);

    uint32_t icon_ = 0;
    std::vector<uint32_t> texts_, live_, stale_, entities_;
    std::vector<uint32_t> hostile_, valid_;
    uint32_t* progress_ = nullptr;
    FakeClient player{&hive, "local"};
    int32_t camera = -1;
};

// The hall has trigger volumes, water and a side room: triggers run script functions.
class HostileBuiltinsInTheHall : public HostileBuiltins {
protected:
    const char* rooms() const override { return "physics_hall"; }
};


// Calls per row: fewer under the sanitizers, where a fork costs twenty times as much.
#if defined(__SANITIZE_ADDRESS__)
constexpr int CALLS_PER_ROW = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int CALLS_PER_ROW = 4;
#else
constexpr int CALLS_PER_ROW = 12;
#endif
#else
constexpr int CALLS_PER_ROW = 12;
#endif

void HostileBuiltins::expect_no_faults(uint32_t seed)
{
    ASSERT_GE(live_.size(), 8u) << printed();
    ASSERT_FALSE(entities_.empty()) << printed();
    seed = static_cast<uint32_t>(from_environment("OSTREL_HOSTILE_SEED", static_cast<int>(seed)));
    const int per_row = from_environment("OSTREL_HOSTILE_CALLS", CALLS_PER_ROW);
    int forks = 0;
    const std::vector<Call> calls = draw(seed, per_row);
    const std::vector<std::string> found = faults(calls, FRAME_EVERY, &forks);
    for (const std::string& f : found) {
        ADD_FAILURE() << f;
    }
    std::printf("%zu calls, %d forks, %zu faults\n", calls.size(), forks, found.size());
}

TEST_F(HostileBuiltins, EveryRowReturnsOrEndsTheScriptOnHostileCells) { expect_no_faults(28); }

TEST_F(HostileBuiltinsInTheHall, EveryRowReturnsOrEndsTheScriptOnHostileCells) { expect_no_faults(29); }


// Cells that once brought the host down, each followed by a frame.
TEST_F(HostileBuiltins, CasesThatOnceFailedReturnOrEndTheScript)
{
    struct Case {
        const char* what;
        Call call;
    };
    const Case cases[] = {
        {"the frame after \"@exit\" sends nothing of the closed map", one("exit", {})},
        {"a ray stopped by the lowest material", one("cast_ray", {address("scratch"), 0x80000000, 0x80000000,
                                                                  0x80000000, 0x80000000, 0x80000000, 0x80000000,
                                                                  0x80000000, 0x80000000, 0x80000000, 0x80000000,
                                                                  0x80000000, 0x80000000})},
        {"a ray through the hall stopped by the lowest material",
         one("cast_ray", {address("scratch"), cell(100), cell(100), cell(50), cell(1), cell(0), cell(0), cell(500),
                          0x80000000, cell(0), cell(0), cell(0), u(-1)})},
    };
    for (const Case& k : cases) {
        for (const std::string& f : faults({k.call}, 1)) {
            ADD_FAILURE() << k.what << ": " << f;
        }
    }
}

// Trigger functions at addresses that hold no function: the trigger's call
// into the script ends the program or returns, as the builtin that ran it does.
TEST_F(HostileBuiltinsInTheHall, TriggerFunctionsAtBadAddressesEndTheScript)
{
    ASSERT_FALSE(entities_.empty());
    const uint32_t e = entities_.front();
    const kcontext_t* const c = server.k_context;
    const uint32_t bad[] = {4,          KARENA_LOW,         c->arena.size() - 2, 0xFFFFFFFC, address("scratch"),
                            address("few"), address("row1"), address("row1") + 1};
    const uint32_t outside[] = {cell(800), cell(256), cell(50)};
    const uint32_t inside[] = {cell(1050), cell(256), cell(50)};
    for (const uint32_t f : bad) {
        SCOPED_TRACE(f);
        for (int role = 0; role < 3; ++role) {
            // The function as the enter, the leave or the activate function of both triggers.
            std::array<uint32_t, 3> functions{0, 0, 0};
            functions[static_cast<size_t>(role)] = f;
            const std::vector<Call> calls = {
                one("set_physical_position", {e, outside[0], outside[1], outside[2]}),
                one("register_trigger", {1, 0x1, functions[0], functions[1], functions[2], 0xA1}),
                one("register_trigger", {2, 0x6, functions[0], functions[1], functions[2], 0xA2}),
                one("enable_triggers", {e}),
                one("set_physical_position", {e, inside[0], inside[1], inside[2]}),
                one("activate_entity_triggers", {e, 0x6, 0x6}),
                one("activate_point_triggers", {inside[0], inside[1], inside[2], 0x1, 0x1}),
                one("set_physical_position", {e, outside[0], outside[1], outside[2]}),
                one("disable_triggers", {e}),
            };
            for (const std::string& fault : faults(calls, 1)) {
                ADD_FAILURE() << "role " << role << ": " << fault;
            }
        }
    }
}

// Trigger functions that run the triggers again, directly or by moving the
// entity in and out, end the script once the calls nest too deep.
TEST_F(HostileBuiltinsInTheHall, TriggersThatRunThemselvesEndTheScript)
{
    ASSERT_FALSE(entities_.empty());
    const uint32_t e = entities_.front();
    const uint32_t out[] = {e, cell(800), cell(256), cell(50)};
    const uint32_t in[] = {e, cell(1050), cell(256), cell(50)};
    struct Case {
        const char* what;
        std::vector<Call> calls;
    };
    const Case cases[] = {
        {"an activate function that activates",
         {one("set_physical_position", {in, in + 4}), one("register_trigger", {2, 0x6, 0, 0, address("again"), e}),
          one("enable_triggers", {e}), one("activate_entity_triggers", {e, 0x6, 0x6})}},
        {"enter moves out, leave moves in",
         {one("set_physical_position", {out, out + 4}),
          one("register_trigger", {1, 0x1, address("go_out"), address("go_in"), 0, e}), one("enable_triggers", {e}),
          one("set_physical_position", {in, in + 4})}},
    };
    for (const Case& k : cases) {
        for (const std::string& fault : faults(k.calls, 1)) {
            ADD_FAILURE() << k.what << ": " << fault;
        }
    }
}

// Every text as the format of the printing builtins, the cells after it all
// one hostile value: the formatter reads what it may and bounds what it writes.
TEST_F(HostileBuiltins, FormatsOverHostileCellsReturnOrEndTheScript)
{
    const kcontext_t* const c = server.k_context;
    const uint32_t fills[] = {0,         1,         u(-1),           0x7FFFFFFF,         cell(std::nanf("")),
                              cell(-INFINITY), cell(3e38f), c->arena.size(), address("scratch")};
    std::vector<Call> calls;
    for (const uint32_t text : texts_) {
        for (const uint32_t v : fills) {
            const std::vector<uint32_t> rest(CELLS, v);
            const auto with = [&](std::vector<uint32_t> first) {
                first.insert(first.end(), rest.begin(), rest.end());
                return first;
            };
            calls.push_back(one("print", with({1, text})));
            calls.push_back(one("sprint", with({0x54657374, text})));
            calls.push_back(one("cprint", with({u(-1), 1, text})));
            calls.push_back(one("pline", with({text})));
            calls.push_back(one("set_icon_name", with({icon_, text})));
        }
    }
    for (const std::string& fault : faults(calls, FRAME_EVERY)) {
        ADD_FAILURE() << fault;
    }
}

} // namespace
