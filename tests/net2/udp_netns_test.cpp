// Clients and servers in two network namespaces, joined through a third that
// runs the impairment relay at an MTU of 1500: every full datagram crosses as
// six fragments and is lost with any of them, so that hundreds of frames are
// lost and the reliable datagrams they carried are sent again until each of
// the pairs' messages has arrived.
#include <gtest/gtest.h>
#include "support/skip_or_fail.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

int run(const std::string& command)
{
    const int status = std::system((command + " > /dev/null 2>&1").c_str());
    return status == 0 ? 0 : 1;
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Namespaces, links and processes of one run; all of them go when it does,
// whatever the test's outcome.
class Lab {
public:
    Lab()
    {
        std::random_device seed;
        char token[8];
        std::snprintf(token, sizeof token, "%05x", seed() & 0xFFFFF);
        tag = token;
        dir = fs::temp_directory_path() / ("ostrel_netns_" + tag);
        fs::create_directories(dir);
    }
    ~Lab()
    {
        for (const std::string& name : started) {
            kill(name);
        }
        for (const std::string& ns : namespaces) {
            run("ip netns del " + ns);
        }
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    std::string ns(const char* role) const { return "ostrel-" + tag + "-" + role; }
    std::string link(const char* role) const { return std::string("o") + role + tag; }

    bool add_namespace(const char* role)
    {
        if (run("ip netns add " + ns(role)) != 0) {
            return false;
        }
        namespaces.push_back(ns(role));
        return run("ip -n " + ns(role) + " link set lo up") == 0;
    }

    // The end that stays in the middle namespace is handed over first, then the other.
    bool add_veth(const char* outer_role, const char* outer, const char* middle, const char* address)
    {
        return run("ip link add " + link(outer) + " type veth peer name " + link(middle)) == 0 &&
               run("ip link set " + link(middle) + " netns " + ns("r")) == 0 &&
               run("ip link set " + link(outer) + " netns " + ns(outer_role)) == 0 &&
               run("ip -n " + ns(outer_role) + " addr add " + address + "/24 dev " + link(outer)) == 0 &&
               run("ip -n " + ns(outer_role) + " link set " + link(outer) + " mtu " + MTU + " up") == 0 &&
               run("ip -n " + ns("r") + " link set " + link(middle) + " mtu " + MTU + " up") == 0;
    }

    // Starts a program in a namespace in the background, bounded in time;
    // its exit code lands in <name>.rc, its output in <name>.log.
    void start(const char* role, const std::string& name, const std::string& program)
    {
        started.push_back(name);
        const std::string base = (dir / name).string();
        // The pid file names the timeout process, which passes a kill on to the program.
        const std::string command = "(timeout 60 ip netns exec " + ns(role) + " " + program + " > " + base +
                                    ".log 2>&1 & echo $! > " + base + ".pid; wait $!; echo $? > " + base +
                                    ".rc) > /dev/null 2>&1 &";
        std::system(command.c_str());
    }

    // The exit code of a started program, or -1 when it has not ended within the time.
    int wait(const std::string& name, double seconds) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            const std::string rc = read_text(dir / (name + ".rc"));
            if (!rc.empty()) {
                return std::atoi(rc.c_str());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }

    void kill(const std::string& name) const
    {
        const std::string pid = read_text(dir / (name + ".pid"));
        if (!pid.empty()) {
            run("kill " + pid.substr(0, pid.find_first_of("\n")));
        }
    }

    std::string log(const std::string& name) const { return read_text(dir / (name + ".log")); }

    static constexpr const char* MTU = "1500";
    std::string tag;
    fs::path dir;
    std::vector<std::string> namespaces;
    std::vector<std::string> started;
};

// The number after "<name> " in a program's report, or -1.
long long counter(const std::string& log, const std::string& name)
{
    const size_t at = log.find(name + " ");
    return at == std::string::npos ? -1 : std::atoll(log.c_str() + at + name.size() + 1);
}

double seconds_until(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
}

std::string tool(const char* name)
{
    const char* const bin = std::getenv("OSTREL_BINARY_DIR");
    return std::string(bin != nullptr ? bin : ".") + "/tools/relay/" + name;
}

TEST(UdpNetnsTest, ReliableMessagesRecoverThroughALossyRelay)
{
    // Pairs run side by side: each resends at most a ring of datagrams a second.
    constexpr int PAIRS = 12;
    constexpr int MESSAGES = 1000; // each pair's
    constexpr int FIRST_PORT = 12345;
    Lab lab;
    if (!lab.add_namespace("c")) {
        SKIP_OR_FAIL("ip netns is not permitted here (needs root and iproute2)");
    }
    ASSERT_TRUE(lab.add_namespace("r"));
    ASSERT_TRUE(lab.add_namespace("s"));
    ASSERT_TRUE(lab.add_veth("c", "c", "x", "10.213.0.1"));
    ASSERT_TRUE(lab.add_veth("s", "s", "y", "10.213.0.2"));

    lab.start("r", "relay",
              tool("ostrel_relay") + " " + lab.link("x") + " " + lab.link("y") +
                  " --loss 0.08 --duplicate 0.01 --reorder 0.02 --delay 0.002 --jitter 0.002 --seed 5 --seconds 50");
    for (int i = 0; i < PAIRS; ++i) {
        const std::string port = std::to_string(FIRST_PORT + i);
        const std::string count = std::to_string(MESSAGES);
        lab.start("s", "server" + std::to_string(i), tool("ostrel_udp_peer") + " server " + port + " " + count + " 40");
        lab.start("c", "client" + std::to_string(i),
                  tool("ostrel_udp_peer") + " client 10.213.0.2 " + port + " " + count + " 40");
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(55);
    long long resent = 0;
    for (int i = 0; i < PAIRS; ++i) {
        const std::string client = "client" + std::to_string(i);
        const std::string server = "server" + std::to_string(i);
        EXPECT_EQ(lab.wait(client, seconds_until(deadline)), 0) << lab.log(client);
        EXPECT_EQ(lab.wait(server, std::max(seconds_until(deadline), 5.0)), 0) << lab.log(server);
        EXPECT_EQ(counter(lab.log(server), "server delivered"), MESSAGES) << lab.log(server);
        resent += std::max(counter(lab.log(client), "client resent"), 0LL);
    }
    lab.kill("relay");
    ASSERT_GE(lab.wait("relay", 10.0), 0); // ended, its counters written
    const std::string relay = lab.log("relay");
    // Typical: about 3,500 frames, 275 of them lost, 270 datagrams resent.
    EXPECT_GE(counter(relay, "relay lost"), 200) << relay;
    EXPECT_GE(resent, 150) << relay;
}

} // namespace
