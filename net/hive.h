#pragma once
// The engine's set of network protocols, searched in the order loopback,
// playback, UDP. The client connects and the server accepts only here.
#include <cstdint>

class ConfigVariable;
class NetProtocol;
class NetSocket;

class Hive {
public:
    Hive() = default;
    ~Hive();
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    // Makes every protocol whose factory succeeds; 0.
    int init();
    void shutdown();

    // The first answer other than 9 of the protocols in list order; 5 when none takes the address.
    int connect(NetSocket** socket, const char* address, const void* request, int32_t request_length);
    int connect_cancel(const char* address, const void* request, int32_t request_length);
    NetSocket* accept(void* request, int32_t* length);
    void close_socket(NetSocket* socket);

    // Puts a protocol at the head of the list; the hive owns it from now on.
    void add_protocol(NetProtocol* p);
    NetProtocol* first_protocol() const { return protocol; }

private:
    NetProtocol* protocol = nullptr;
    ConfigVariable* net_debug_variable = nullptr;
};

// Net_Debug: the datagram layer's debugging prints.
bool net_debug();
