#pragma once
// The protocol's record of one client (server side) or of one connection
// attempt (client side), and the queues in which records wait to expire.
#include "net/net_protocol.h"

#include <cstddef>
#include <cstdint>

class DatagramSocket;

// Client side.
constexpr int DGLINK_CLOSED = 0x10;     // removed at once
constexpr int DGLINK_CONNECTING = 0x11; // request sent every second
constexpr int DGLINK_REJECTED = 0x12;
constexpr int DGLINK_ACCEPTED = 0x13;   // socket connected to the server's new socket
constexpr int DGLINK_CONNECTED = 0x14;  // socket handed to the caller of connect
// Server side; a new record starts at 0.
constexpr int DGLINK_DROPPED = 0x20;    // kept a while; its address is answered "try later"
constexpr int DGLINK_BAD_VERSION = 0x21;
constexpr int DGLINK_NO_ADDRESS = 0x22;
constexpr int DGLINK_REQUESTED = 0x23;  // half-open: waiting for accept
constexpr int DGLINK_TAKEN = 0x24;      // socket handed to the caller of accept

constexpr double DGLINK_REQUEST_PERIOD = 1.0; // seconds between requests
constexpr double DGLINK_KEEP_TIME = 10.0;     // seconds a refused or dropped record stays
// Half-open links each hold a socket with its buffers and a poll row; more
// requests than this from new addresses are told to try later.
constexpr int32_t DGLINK_HALF_OPEN_MAX = 32;
// Of them, the most that one host may hold: a flood from one machine leaves
// room for the requests of others.
constexpr int32_t DGLINK_HALF_OPEN_PER_HOST = 8;
// Seconds a half-open link waits for accept: by then a client that heard
// nothing from its new socket has timed out.
constexpr double DGLINK_HALF_OPEN_TIME = 30.0;
// The reject reason that asks a client to repeat its request later.
constexpr const char* DGLINK_TRY_LATER = "try later";

struct DatagramLink;

// Records in the order they entered, oldest first; a record is in one queue at most.
struct DatagramLinkQueue {
    DatagramLink* first = nullptr;
    DatagramLink* last = nullptr;
    int32_t count = 0;

    void push(DatagramLink* link);
    void remove(DatagramLink* link);
};

struct DatagramLink {
    DatagramLink* next = nullptr;     // every record, newest first
    DatagramLink* previous = nullptr;
    DatagramSocket* socket = nullptr;
    NetAddress address{}; // the client's (server side)
    double time = 0.0;    // engine seconds of the last change
    int state = 0;
    uint8_t* request = nullptr;
    int32_t request_length = 0;

    // Server side: the address as the protocol's index holds it.
    bool keyed = false;
    NetAddress key{};
    NetAddress host{}; // the protocol's host key of the address
    DatagramLinkQueue* queue = nullptr;
    DatagramLink* queue_next = nullptr;
    DatagramLink* queue_previous = nullptr;

    bool client_side() const { return state >= DGLINK_CLOSED && state <= DGLINK_CONNECTED; }
};

// Hash and equality of addresses in their key form, for the index by address.
struct DatagramAddressHash {
    size_t operator()(const NetAddress& address) const;
};
struct DatagramAddressSame {
    bool operator()(const NetAddress& a, const NetAddress& b) const;
};
