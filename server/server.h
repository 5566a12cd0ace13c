#pragma once
// The game server: owns the world of the loaded map (object managers,
// network mirror, physics, route graph, the script context), the 32 client
// slots and its console command set. Server::frame runs once per engine
// frame: connections and messages, world ticks of 1/70 s, console commands,
// then the object updates of every spawned client.
#include "server/camera_manager.h"
#include "server/dyn_light_manager.h"
#include "server/icon_manager.h"
#include "server/lamp_manager.h"
#include "server/lens_flare_manager.h"
#include "server/mesh_object_manager.h"
#include "server/mesh_physics.h"
#include "server/particle_manager.h"
#include "server/route_graph.h"
#include "server/script_glue.h"
#include "server/physics_server.h"
#include "server/sound_source_manager.h"
#include "server/sprite_manager.h"
#include "server/server_client.h"
#include "server/sobj_net_mirror.h"

#include <cstdarg>
#include <cstdint>

class ConfigVariable;
class ConsCmd;
class Hive;
class NetSocket;
class NetStreamIn;
class ShareManager;
class SharedMap;
struct kcontext_t;

constexpr double SERVER_TICK = 1.0 / 70.0;
constexpr double SERVER_LAG_CAP = 0.2;
constexpr double SERVER_FRAME_TICK_SLACK = 0.0001;
// A tick due within this much of the target runs: the target is a sum of
// doubles and would otherwise miss a whole tick by a rounding.
constexpr double SERVER_TICK_ROUNDING = 1e-9;
constexpr int32_t SERVER_TICKS_PER_SECOND = 70;

constexpr uint32_t SWF_SCRIPTS = 0x01; // scripts linked and their state loaded
constexpr uint32_t SWF_MAP = 0x02;     // map and object managers loaded
constexpr uint32_t SWF_READY = 0x03;
constexpr uint32_t SWF_RUNNING = 0x04; // the world clock runs

constexpr int SERVER_MAPNAME_SIZE = 10;
constexpr int KCMOS_SIZE = 1024;

// Limits on what one client can make the server do.
constexpr int SERVER_MESSAGES_PER_FRAME = 256; // messages read from one client in one frame
constexpr double SERVER_ERROR_LINE_PERIOD = 1.0;   // seconds between error lines about one client
constexpr double SERVER_ACK_TIMEOUT = 30.0;     // seconds a spawned client may leave updates unacknowledged
constexpr double SERVER_LOGOUT_TIMEOUT = 30.0;  // seconds a client may stay logging out
// Connections taken from the hive in one frame; the rest wait for the next
// frames (the transports tell requests beyond their queues to try later).
constexpr int SERVER_ACCEPTS_PER_FRAME = 20;

// Text audiences.
constexpr int32_t TEXT_EVERYONE = -2;
constexpr int32_t TEXT_NOBODY = -1;
constexpr int32_t TEXT_ALL_BUT = 0x10000;  // with the excluded client in bits 0-15
constexpr int32_t TEXT_GROUP = 0x20000;    // with the group in bits 0-15

class Server {
public:
    Server();
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // 1 on success, 0 after printing the reason.
    int init(Hive* hive, ShareManager* share);
    void shutdown();
    // One frame at engine time now; 0 once nothing is left to do while shutting down.
    int frame(double now, int shutting_down);

    int create_cvars();
    void release_cvars();
    void world_tick(double* script_time, double* physics_time);

    // The map identifier, or -1.
    int32_t load_map(const char* name, const char* save);
    void unload_map();
    void set_world_time(double t);
    // A map started as its console command starts it: loaded (or unloaded
    // again on failure), world time 0, stamp 0, one tick run. 1 or 0.
    int start_map(const char* name, const char* save);

    // Game protocol.
    void accept_new_client();
    void read_client_sockets();
    int dispatch_client_message(int c, NetStreamIn* msg, int id);
    void read_client_input(int c, NetStreamIn* msg);
    int read_client_impulses(int c, NetStreamIn* msg);
    void client_map_loaded(int c, NetStreamIn* msg);
    void run_client_command(int c, NetStreamIn* msg);
    int check_disconnects();
    int spawn_client(int c);
    void remove_script_client(int c);
    void begin_logout(int c);
    void drop_client(int c);
    void logout_all_clients();
    void drop_all_clients();

    int send_accept(int c);
    int send_reject(NetSocket* socket, const char* reason);
    int send_map_change(int c);
    int send_load_map(int c);
    void send_text(int32_t audience, int stream, const char* text);
    void send_textf(int32_t audience, int stream, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void send_textv(int32_t audience, int stream, const char* format, va_list args);
    void flush_client_sockets();
    void send_client_updates();

    // Whether a text audience takes the client.
    bool text_audience_admits(int32_t audience, int c) const;

    ConfigVariable* S_FrameTicks = nullptr;
    ConfigVariable* S_TickUpdate = nullptr;
    ConfigVariable* S_Profile = nullptr;
    ConfigVariable* S_AllowCheaters = nullptr;
    ConfigVariable* S_AllowAdministrators = nullptr;
    ConfigVariable* S_PVS = nullptr;
    ConfigVariable* S_MaxClientsPerAddress = nullptr; // connections of one host; the local client is not counted
    ShareManager* share = nullptr;
    uint32_t map_id = 0;
    char map_name[SERVER_MAPNAME_SIZE] = {};
    double time_offset = 0.0;
    double time_world = 0.0;
    uint32_t tick = 0;
    double frame_time = 0.0;
    double script_time = 0.0;
    double physics_time = 0.0;
    double net_time = 0.0;
    uint32_t world_flags = 0;
    SharedMap* map = nullptr;
    PhysicsServer physics;
    MapRoute route;
    SObjNetMirror mirror;
    SLampManager map_lamps;
    SLampManager dynamic_lamps;
    SDynLightManager dynamic_lights;
    SLensFlareManager lens_flares;
    SMeshManager meshes;
    ServerMeshPhysics mesh_physics{&physics};
    SMeshObjectManager mesh_objects;
    SSpriteManager sprites;
    SBspObjectManager bsp_objects;
    SParticleManager particles;
    SSoundSourceManager sound_sources;
    SCameraManager cameras;
    SIconManager icons;
    Hive* hive = nullptr;
    ServerClient* client = nullptr;
    int clients = 0;
    int current_client = CLIENTID_NONE;
    kcontext_t* k_context = nullptr;
    uint8_t* k_cmos = nullptr;
    ConsCmd* cmd = nullptr;
    ScriptExports k_exports;                    // arena addresses of what scripts read from the server
    struct ScriptCommand* script_commands = nullptr; // newest first

    // Engine time of the frame being run.
    double now = 0.0;
    int32_t messages_dropped = 0; // client messages refused as damaged

private:
    int register_map_commands();
    void unregister_map_commands();
    void set_server_permissions();
    int script_world_init(const char* save);
    void script_world_done();
    void client_error(int c, int stream, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void check_timeouts(int c);
    // Whether the host of socket holds as many slots as one host may (never
    // for a socket without a remote peer: the local client).
    bool address_full(const NetSocket* socket) const;
    void measure_rate(int c);
    // The clock of the clients' byte rates: world time while S_FrameTicks
    // fixes the ticks a frame (so that the pacing of updates repeats from run
    // to run), else the wall clock.
    double rate_clock() const;
    void admit_objects(int c, const Vector& camera);
    int32_t read_map_lamps(const char* name, uint32_t identifier);
};
