#pragma once
// The game client: connects to a server, turns the player's input into input
// messages, applies the server's object updates to its entities, and draws
// and plays them. The engine calls init once, frame once per main-loop
// iteration after the server's frame, and deletes it at shutdown.
#include <cstdint>
#include <memory>

class ClientInput;
class ClientMap;
class ClientRenderer;
class ClientSound;
class ConfigVariable;
class ConsCmd;
class Console;
class EntitySet;
class Hive;
class KVideoMode;
class NetSocket;
class NetStreamIn;
class ShareManager;
class UpdateDecoder;
struct CObjCommon;

// Seconds per tick on the client: three units in the last place below the
// nearest double to 1/70 (bit pattern 0x3F8D41D41D41D41A).
constexpr double CLIENT_TICK = 0.01428571428571428;

// Connection states.
constexpr int CSTATE_DISCONNECTED = 0;
constexpr int CSTATE_DISCONNECTING = 1; // closed by the next receive loop
constexpr int CSTATE_CONNECTING = 2;    // request offered again every frame
constexpr int CSTATE_CONNECTED = 3;     // waiting for accept or reject
constexpr int CSTATE_ACCEPTED = 4;

constexpr int CLIENT_ADDRESS_SIZE = 64;
constexpr int CLIENT_RECORD_NAME_SIZE = 12;
constexpr int CLIENT_SERVER_COMMANDS_SIZE = 256;
constexpr int CLIENT_MAP_NAME_SIZE = 10;
constexpr float VIEW_SIZE_MIN = 0.2f;
constexpr float VIEW_SIZE_MAX = 1.0f;

// Smoothed seconds of the frame's sections.
enum ClientSection { SECTION_TOTAL, SECTION_RENDER, SECTION_ANIMATION, SECTION_SOUND, SECTION_NETWORK, SECTION_INPUT,
                     SECTION_COUNT };

class Client {
public:
    Client();
    // Virtual: the engine deletes the client through its base.
    virtual ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // 1, or 0 after "Client: Can't initialize %s" was printed.
    int init(Hive* hive, ShareManager* share);
    void shutdown();
    // One client frame at engine time `time`; 0 asks the engine to shut down.
    int frame(double time);
    // The world's ticks a frame when S_FrameTicks fixes them; 0 when the
    // wall clock sets them.
    int32_t fixed_frame_ticks() const;

    // Clocks and the variable check.
    void interpolate(int budget);
    int check_cvars();
    void print_profile(int ticks);

    // Connection and protocol.
    int connect(const char* address, int cancel);
    void cancel_connect();
    void close();
    void read_messages();
    void handle_message(NetStreamIn& stream, int id);
    int write_input();
    int encode_input();
    void reset_net_stats();
    void print_net_stats(int mode);
    // The words after the command's name (forward_all 0) or all of them, to the server.
    void forward_command(int argc, const char* const* argv, int forward_all);

    // Video mode, renderer and map.
    int init_video();
    int set_mode(int driver, int32_t width, int32_t height);
    int set_mode_fallback(int driver, int32_t width, int32_t height);
    int init_renderer();
    void done_renderer();
    void set_view_size(float factor);
    int load_map(const char* name);
    void unload_map();

    // Commands.
    int register_client_commands();
    void unregister_client_commands();
    void register_server_commands();
    void unregister_server_commands();
    void client_command(int id, int argc, const char* const* argv);

    // State, for the commands, the engine and tests.
    int net_state() const { return net_state_; }
    const char* net_address() const { return net_address_; }
    NetSocket* socket() const { return socket_; }
    bool map_active() const { return map_active_ != 0; }
    const char* server_commands() const { return server_commands_; }
    const char* record_name() const { return record_name_; }
    bool record_requested() const { return record_requested_ != 0; }
    bool screenshot_requested() const { return screenshot_ != 0; }
    void request_screenshot() { screenshot_ = 1; }
    float view_size() const { return view_size_; }
    double time_local() const { return time_local_; }
    double interpolation_clock() const { return time_interpolate_; }
    double time_transform() const { return time_transform_; }
    double time_oldtransform() const { return time_oldtransform_; }
    int32_t client_ticks() const { return client_ticks_total_; }
    int32_t client_ticks_frame() const { return client_ticks_frame_; }
    int32_t interpolation_ticks() const { return interp_ticks_total_; }
    int32_t interpolation_ticks_frame() const { return interp_ticks_frame_; }
    double section(ClientSection s) const { return sections_[s]; }
    int32_t timedemo_frames() const { return timedemo_frames_; }
    int current_driver() const { return driver_; }
    // Messages from the server dropped as malformed, update messages included.
    int32_t damaged_messages() const;

    UpdateDecoder& decoder() { return *decoder_; }
    ClientInput& input() { return *input_; }
    EntitySet& entities() { return *entities_; }
    ClientMap& world() { return *world_; }
    KVideoMode* video_mode() const { return v_mode_; }
    ClientRenderer* renderer() const { return renderer_; }
    ClientSound* sound() const { return sound_; }
    Console* console() const { return console_; }
    ConsCmd* cons_cmd() const { return cons_cmd_; }
    // The camera's record, or null while the camera has no object.
    const CObjCommon* camera() const;

private:
    int create_cvars();
    void release_cvars();
    void apply_cheater();
    void render();
    void handle_accept(NetStreamIn& stream);
    void handle_reject(NetStreamIn& stream);
    void handle_map_load(NetStreamIn& stream);
    void handle_update(NetStreamIn& stream);
    void dropped(const char* why);
    void attach_entities();
    void detach_entities();
    void keydef(int id, int argc, const char* const* argv);
    void keyundef(int argc, const char* const* argv);
    void video_command(int argc, const char* const* argv);
    void print_mode_line(bool with_kind);

    // Configuration variables, in their order of linking.
    ConfigVariable* cv_name_ = nullptr;
    ConfigVariable* cv_cps_ = nullptr;
    ConfigVariable* cv_player_ = nullptr;
    ConfigVariable* cv_cheater_ = nullptr;
    int cheater_ = 0; // cached truth of Client_Cheater
    ConfigVariable* cv_administrator_ = nullptr;
    ConfigVariable* cv_quit_ = nullptr;
    ConfigVariable* cv_profile_ = nullptr;
    ConfigVariable* cv_asmcycles_ = nullptr;
    ConfigVariable* cv_kheap_info_ = nullptr;
    ConfigVariable* cv_animation_ = nullptr;
    ConfigVariable* cv_timedemo_ = nullptr;
    ConfigVariable* cv_mmx_ = nullptr;
    ConfigVariable* cv_snd_profile_ = nullptr;
    ConfigVariable* cv_net_stats_ = nullptr;
    int mmx_detected_ = 0;

    ShareManager* share_ = nullptr;
    Hive* net_ = nullptr;

    // Connection.
    NetSocket* socket_ = nullptr;
    int net_state_ = CSTATE_DISCONNECTED;
    char net_address_[CLIENT_ADDRESS_SIZE] = {};
    double stats_start_ = 0.0;
    double stats_last_ = 0.0;
    int32_t bytes_out_total_ = 0;
    int32_t bytes_in_total_ = 0;
    int32_t rate_out_ = 0;
    int32_t rate_in_ = 0;
    char record_name_[CLIENT_RECORD_NAME_SIZE] = {};
    int record_requested_ = 0;
    char server_commands_[CLIENT_SERVER_COMMANDS_SIZE] = {};
    int32_t damaged_messages_ = 0; // messages from the server dropped as malformed

    // Held by pointer so that this header stays free of the wire's names,
    // which the server, meeting the client only in the engine, names alike.
    std::unique_ptr<UpdateDecoder> decoder_;
    Console* console_ = nullptr;
    ConsCmd* cons_cmd_ = nullptr;
    std::unique_ptr<ClientInput> input_;

    KVideoMode* v_mode_ = nullptr;
    int driver_ = -1;
    ClientRenderer* renderer_ = nullptr;
    float view_size_ = 1.0f;
    int screenshot_ = 0;

    std::unique_ptr<ClientMap> world_;
    std::unique_ptr<EntitySet> entities_;
    int map_active_ = 0;
    ClientSound* sound_ = nullptr;

    // Clocks.
    double time_interpolate_ = -1.0;
    double time_oldtransform_ = 0.0;
    double time_transform_ = 0.0;
    int32_t interp_ticks_total_ = 0;
    int32_t interp_ticks_frame_ = 0;
    double time_local_ = -1.0;
    int32_t client_ticks_total_ = 0;
    int32_t client_ticks_frame_ = 0;
    double sections_[SECTION_COUNT] = {};
    int32_t timedemo_frames_ = -1;
    double timedemo_start_ = 0.0;
};
