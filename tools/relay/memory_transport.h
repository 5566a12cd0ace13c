#pragma once
// A datagram transport inside one process, on the engine clock: sockets
// bound to ports of one MemoryNetwork, whose datagrams pass through an
// Impairment. Tests and benchmarks drive it in virtual time.
#include "net/datagram_protocol.h"
#include "net/datagram_socket.h"
#include "tools/relay/impairment.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

class MemorySocket;

constexpr uint32_t MEMORY_PROTOCOL_ID = 0x204D454Du; // "MEM "

// Address data: u16 port at offset 0 of the protocol data.
NetAddress memory_address(uint16_t port);
uint16_t memory_port(const NetAddress& address);

class MemoryNetwork {
public:
    struct Sent {
        uint16_t from;
        uint16_t to;
        std::vector<uint8_t> bytes;
    };

    explicit MemoryNetwork(const ImpairmentSettings& settings = ImpairmentSettings{}) : impairment(settings) {}

    // port 0 picks a free one; returns the port, 0 when taken.
    uint16_t bind(MemorySocket* socket, uint16_t port);
    void unbind(uint16_t port);
    void send(uint16_t from, uint16_t to, const uint8_t* data, int32_t length);
    // Moves every datagram due by now into its socket.
    void deliver(double now);
    // Puts a datagram straight into a socket, as if it came from from.
    void inject(uint16_t to, uint16_t from, const std::vector<uint8_t>& bytes);

    int32_t ports_bound() const { return static_cast<int32_t>(ports_.size()); }

    Impairment impairment;
    // When set, a datagram for which it answers true is lost before the impairment.
    std::function<bool(const Sent&)> drop;
    bool log_sent = false;
    std::vector<Sent> sent;

private:
    std::map<uint16_t, MemorySocket*> ports_;
    uint16_t next_port_ = 1000;
};

class MemorySocket final : public DatagramSocket {
public:
    MemorySocket(DatagramProtocol* owner, MemoryNetwork* network);
    ~MemorySocket() override;

    // 0, or 3 when the port is taken or the buffers cannot be made.
    int open(uint16_t port);

    void poll() override { keepalive(); }
    int connect(const NetAddress* address, bool connecting) override { return reset(address, connecting); }
    int send_datagram(const uint8_t* data, int32_t length) override;
    int receive_datagram(uint8_t* buffer, int32_t* length, NetAddress* source) override;
    int local_address(NetAddress* address) override;

    struct Arrival {
        uint16_t from;
        std::vector<uint8_t> bytes;
    };
    std::deque<Arrival> inbox;
    uint16_t port = 0;
    bool fail_sends = false;
    bool fail_local_address = false;

private:
    MemoryNetwork* network_;
};

class MemoryProtocol final : public DatagramProtocol {
public:
    // listen_port 0: no listening socket.
    MemoryProtocol(MemoryNetwork* network, uint16_t listen_port);
    ~MemoryProtocol() override;

    DatagramSocket* create_socket(bool listening) override;
    int address_equal(const NetAddress* a, const NetAddress* b) override;
    const char* address_to_text(const NetAddress* address) override;
    // "mem:N": port N.
    int text_to_address(const char* text, NetAddress* address) override;
    NetAddress address_key(const NetAddress* address) override;

    int32_t datagram_size = NET_DATAGRAM_SIZE;
    int64_t sockets_made = 0;         // by create_socket
    int64_t address_comparisons = 0;  // by address_equal
    bool fail_create = false;        // create_socket answers null
    bool fail_local_address = false; // new sockets cannot tell their own address

private:
    MemoryNetwork* network_;
    uint16_t listen_port_;
};
