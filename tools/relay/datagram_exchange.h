#pragma once
// A client that connects and sends numbered reliable (and some unreliable)
// messages, and a server that accepts it, checks that every message arrives
// once, whole and in order, and answers "done" when all have. They run in
// one process on the in-memory transport in virtual time (tests,
// benchmarks), or in two processes over UDP (the end-to-end test).
#include "tools/relay/impairment.h"

#include <cstdint>
#include <vector>

class NetProtocol;
class NetSocket;

namespace host {
class ManualClock;
}

struct ExchangeSettings {
    ImpairmentSettings network;   // in-memory runs only
    int32_t messages = 10000;
    double frame = 0.01;          // seconds of one frame of both sides (virtual runs)
    double time_limit = 3600.0;   // seconds before giving up
    int32_t unreliable_every = 0; // an unreliable message after every n-th reliable one (0: none)
    int32_t per_frame = 1000000;  // reliable messages written per frame at most
};

struct ExchangeResult {
    bool connected = false;
    int32_t delivered = 0;         // reliable messages read by the server
    bool in_order = true;          // each one was the next number, with the right bytes
    int32_t unreliable_sent = 0;
    int32_t unreliable_delivered = 0;
    bool unreliable_whole = true;  // every unreliable one arrived intact, at most once, in order
    double seconds = 0.0;          // from the first message written to the last delivery
    int64_t payload_bytes = 0;
    std::vector<double> latencies; // seconds from message_end to read (when both ends share a clock)
    int64_t datagrams = 0;         // in-memory runs: sent into the network, both ways
    int64_t datagrams_lost = 0;
    bool client_usable = true;
    bool server_usable = true;
    bool done_received = false;    // the client read the server's answer
};

class ExchangeClient {
public:
    ExchangeClient(NetProtocol* protocol, const char* address, const ExchangeSettings& settings);
    ~ExchangeClient();
    ExchangeClient(const ExchangeClient&) = delete;
    ExchangeClient& operator=(const ExchangeClient&) = delete;

    // One frame: connect, or write, send and read.
    void step(ExchangeResult* result);
    bool failed() const { return failed_; }
    NetSocket* socket() const { return socket_; }
    const std::vector<double>& sent_at() const { return sent_at_; }

private:
    NetProtocol* protocol_;
    const char* address_;
    ExchangeSettings settings_;
    NetSocket* socket_ = nullptr;
    std::vector<double> sent_at_;
    int32_t next_ = 0;
    bool failed_ = false;
};

class ExchangeServer {
public:
    ExchangeServer(NetProtocol* protocol, const ExchangeSettings& settings);
    ~ExchangeServer();
    ExchangeServer(const ExchangeServer&) = delete;
    ExchangeServer& operator=(const ExchangeServer&) = delete;

    // One frame: accept, read and check, answer. sent_at: the client's send
    // times when it shares this clock, else null.
    void step(ExchangeResult* result, const std::vector<double>* sent_at);
    bool complete() const { return next_ == settings_.messages; }
    NetSocket* socket() const { return socket_; }

private:
    NetProtocol* protocol_;
    ExchangeSettings settings_;
    NetSocket* socket_ = nullptr;
    int32_t next_ = 0;
    int32_t last_unreliable_ = -1;
    bool answered_ = false;
    double first_ = -1.0;
};

// Both ends on an in-memory network, the clock advanced one frame at a time.
// The clock must be the one installed as the engine clock.
ExchangeResult run_exchange(const ExchangeSettings& settings, host::ManualClock* clock);

// The bytes of message n: its number and a pattern, 4 to 303 bytes.
std::vector<uint8_t> exchange_payload(int32_t n);

constexpr int EXCHANGE_MESSAGE_ID = 48;
constexpr int EXCHANGE_UNRELIABLE_ID = 0;
constexpr int EXCHANGE_DONE_ID = 1;
