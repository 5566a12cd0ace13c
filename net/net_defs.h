#pragma once
// Constants shared by every transport: message limits, reliability classes
// and the small result codes that sockets and protocols answer.
#include <cstdint>

constexpr int NET_MSGID_MAX = 256;
constexpr int NET_MESSAGE_MAXLEN = 8000; // bytes of payload
constexpr int NET_STREAM_RELIABLE = 1;
constexpr int NET_STREAM_UNRELIABLE = 2;

// Result codes.
constexpr int NET_OK = 0;              // success; a message read; a connection under way
constexpr int NET_WRITE_FAILED = 1;    // stream overflow, short write
constexpr int NET_NOTHING = 2;         // nothing (yet); end of data
constexpr int NET_NO_RESOURCE = 3;     // out of memory, or a file or socket cannot be made
constexpr int NET_NOT_CONNECTED = 4;   // not connected, or not set up
constexpr int NET_MISMATCH = 5;        // wrong stream or protocol, bad size, no protocol for an address
constexpr int NET_BUSY = 6;            // a message already open, already recording, duplicate
constexpr int NET_DAMAGED = 7;         // damaged data
constexpr int NET_NOT_FOUND = 8;
constexpr int NET_NOT_MINE = 9;        // not this protocol's address
constexpr int NET_CONNECTED = 10;
constexpr int NET_REFUSED = 11;
constexpr int NET_DUPLICATE_CONNECT = 12;
constexpr int NET_SOCKET_ERROR = -1;
