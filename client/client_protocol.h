#pragma once
// The game protocol as the client speaks it: message ids, the connection
// request block and the input record.
#include <cstdint>

class NetStreamOut;
class ClientInput;

constexpr uint32_t NET_PROTOCOL_VERSION = 10;
constexpr uint32_t NET_GAME_MAGIC = 0x4B5652;

// Client to server.
constexpr int NETM_INPUT = 0;
constexpr int NETM_IMPULSES = 48;
constexpr int NETM_COMMAND = 49;
constexpr int NETM_MAPLOADED = 50;
// Server to client.
constexpr int NETM_UPDATE = 0x60;
constexpr int NETM_REJECT = 0x61;
constexpr int NETM_ACCEPT = 0xB0;
constexpr int NETM_MAPLOAD = 0xB1;
constexpr int NETM_MAPCLOSE = 0xB2;
constexpr int NETM_TEXT = 0xC1;
constexpr int NETM_DUMMY = 0xE0;

constexpr uint32_t MAPLOAD_FAILED = 0xFFFFFFFFu;
constexpr int CONNECT_REQUEST_SIZE = 256;
constexpr int SERVER_COMMAND_MAX = 1024; // bytes with the terminator

struct ConnectRequest {
    const char* name;
    int32_t rate; // bytes per second
    int player;
    int cheater;
    int administrator;
};

// The request block's length in bytes, or 0 when it does not fit.
int32_t write_connect_request(const ConnectRequest& request, uint8_t* buffer, int32_t size);

// An axis value as sent: -1 when absent, else its 16-bit code (32768 is zero).
int32_t axis_code(float value);

// The input record: the acknowledged stamp, three axis groups of 3, 2 and 4
// axes, and the state word.
void write_input_record(NetStreamOut& stream, int32_t stamp, const ClientInput& input);
