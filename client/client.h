#pragma once
// The game client: connects to a server, reads input, draws and plays sound.
// So far it opens the video mode with the renderer around it and draws the
// console over the screen's background every frame.
#include <cstdint>

class ConfigVariable;
class ConsCmd;
class Console;
class Hive;
class KVideoMode;
class ScreenManager;
class ScreenProjection;
class ShareManager;

constexpr double CLIENT_TICK = 1.0 / 70.0; // seconds

class Client {
public:
    Client();
    // Virtual: the engine deletes the client through its base.
    virtual ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Non-zero on success; otherwise "Client: Can't initialize %s" was printed.
    int init(Hive* hive, ShareManager* share);
    // One client frame; 0 asks the engine to shut down.
    int frame(double now);

    // The video mode and the renderer around it; each program links its own.
    int init_video();
    int set_mode(int32_t driver, int32_t width, int32_t height);
    int set_mode_fallback(int32_t driver, int32_t width, int32_t height);
    int init_renderer();
    void done_renderer();
    void set_view_size(float factor);

    // The next presented frame is written as a screenshot.
    void request_screenshot() { screenshot_ = 1; }
    Console* console() const { return console_; }
    ConsCmd* cons_cmd() const { return cons_cmd_; }
    ScreenManager* screen() const { return screen_; }
    ScreenProjection* projection() const { return projection_; }
    KVideoMode* video_mode() const { return v_mode_; }
    int32_t ticks() const { return ticks_total_; }

private:
    void shutdown();
    int register_client_commands();
    static void client_command(int id, int argc, const char* const* argv, void* context);
    // The render step of the frame: the screen around the 3-D window.
    void render();
    // Closes and destroys the video mode, after the renderer.
    void close_video();

    Hive* hive_ = nullptr;
    ShareManager* share_ = nullptr;
    ConfigVariable* quit_ = nullptr;
    Console* console_ = nullptr;
    ConsCmd* cons_cmd_ = nullptr;
    KVideoMode* v_mode_ = nullptr;
    ScreenManager* screen_ = nullptr;
    ScreenProjection* projection_ = nullptr;
    int32_t driver_ = -1;
    float view_size_ = 1.0f;
    int screenshot_ = 0;
    bool console_bound_ = false; // the console took the print streams
    bool mmx_ = false;
    double time_local_ = -1.0;  // the client clock, engine seconds; -1 until the first frame
    int32_t ticks_total_ = 0;   // client ticks since start
    double input_time_ = 0.0;   // end of the last input slice, engine seconds
};
