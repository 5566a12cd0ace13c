#pragma once
// The protocol's record of one client (server side) or of one connection
// attempt (client side).
#include "net/net_protocol.h"

#include <cstdint>

class DatagramSocket;

// Client side.
constexpr int DGLINK_CLOSED = 0x10;     // removed at the next purge
constexpr int DGLINK_CONNECTING = 0x11; // request sent every second
constexpr int DGLINK_REJECTED = 0x12;
constexpr int DGLINK_ACCEPTED = 0x13;   // socket connected to the server's new socket
constexpr int DGLINK_CONNECTED = 0x14;  // socket handed to the caller of connect
// Server side; a new record starts at 0.
constexpr int DGLINK_DROPPED = 0x20;    // kept a while; its address is answered "try later"
constexpr int DGLINK_BAD_VERSION = 0x21;
constexpr int DGLINK_NO_ADDRESS = 0x22;
constexpr int DGLINK_REQUESTED = 0x23;  // waiting for accept
constexpr int DGLINK_TAKEN = 0x24;      // socket handed to the caller of accept

constexpr double DGLINK_REQUEST_PERIOD = 1.0; // seconds between requests
constexpr double DGLINK_KEEP_TIME = 10.0;     // seconds a refused or dropped record stays

struct DatagramLink {
    DatagramLink* next = nullptr;
    DatagramSocket* socket = nullptr;
    NetAddress address{}; // the client's (server side)
    double time = 0.0;    // engine seconds of the last change
    int state = 0;
    uint8_t* request = nullptr;
    int32_t request_length = 0;

    bool client_side() const { return state >= DGLINK_CLOSED && state <= DGLINK_CONNECTED; }
};
