#pragma once
// One client slot of the server: the connection, its state in the game
// protocol, the input the scripts read and the client's active objects.
#include "server/object_list.h"

#include <cstdint>

class NetSocket;

constexpr int SERVER_MAXCLIENTS = 32;
constexpr int CLIENTID_NONE = -1;

constexpr int SCSTATE_FREE = 0;
constexpr int SCSTATE_DROP = 1;       // dropped by the next disconnection check
constexpr int SCSTATE_LOGGINGOUT = 2; // was spawned; the scripts still see it
constexpr int SCSTATE_CONNECTED = 3;  // accepted, no map sent
constexpr int SCSTATE_LOADING = 4;    // told to load the map
constexpr int SCSTATE_SPAWNED = 5;

// Flags from the connection request.
constexpr uint32_t SCFLAG_PLAYER = 0x01; // asks to enter the world
constexpr uint32_t SCFLAG_CHEATER = 0x02;
constexpr uint32_t SCFLAG_ADMINISTRATOR = 0x04;

constexpr int SERVER_CLIENT_NAME = 32;
constexpr int32_t SERVER_MIN_CPS = 1000;
constexpr int SERVER_ANALOG_INPUTS = 9;
constexpr int SERVER_IMPULSES = 32;

class ServerClient {
public:
    ServerClient();
    ~ServerClient();
    ServerClient(const ServerClient&) = delete;
    ServerClient& operator=(const ServerClient&) = delete;

    // Back to a free slot: the socket must be gone and no camera held.
    void clear();
    // Forgets what the client had of the world.
    void reset();

    NetSocket* socket = nullptr;
    int state = SCSTATE_FREE;
    char name[SERVER_CLIENT_NAME] = {};
    int32_t cps = 0;
    uint32_t flags = 0;
    int32_t rate = 0;
    double update_interval = 0.0; // world seconds between update messages
    double rate_time = 0.0;       // engine time of the last rate measurement
    int32_t input_stamp = -1;     // the newest update the client acknowledged
    int32_t camera_id = -1;
    float analog[SERVER_ANALOG_INPUTS] = {};
    uint32_t accumulated_state = 0;
    uint32_t current_state = 0;
    int input_latch = 1;
    int impulse_count = 0;
    uint8_t impulses[SERVER_IMPULSES] = {};
    double next_update_time = 0.0; // world time
    ObjectList objects;
    int32_t group = 0;

    // Guards against clients that misbehave.
    double ack_time = 0.0;     // engine time of the last acknowledgement that moved forward
    double logout_time = 0.0;  // engine time at which logging out began
    double error_time = 0.0;   // engine time until which error lines are held back
    int32_t errors_held = 0;   // error lines held back since then
};
