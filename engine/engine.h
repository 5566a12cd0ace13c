#pragma once
// The engine object: creates every top-level service in a fixed order, runs
// the main loop's frames and releases everything in the reverse order.
class Client;
class ConfigVariable;
class Hive;
class Server;
class ShareManager;

struct FpsWindow {
    double length = 0.0;  // seconds
    double start = 0.0;   // engine time at which the current window began
    double last = 0.0;    // engine time of the previous frame
    double longest = 0.0; // longest frame of the window, seconds
    double shortest = 1024.0;
    double average_fps = 0.0;
    double maximum_fps = 0.0;
    double minimum_fps = 0.0;
    int frames = 0;
};

constexpr int ENGINE_FPS_WINDOWS = 4;
constexpr double ENGINE_SHUTDOWN_TIMEOUT = 15.0;

class Engine {
public:
    // system_name: "Win32" or "OpenGL / Win32", shown in the window title.
    explicit Engine(const char* system_name = "Win32");
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    int init(int argc, const char* const* argv);
    int frame();
    void shutdown();
    void mount_base(const char* path);

    bool shutting_down() const { return shutting_down_ != 0; }
    double smoothed_fps() const { return smoothed_fps_; }
    const FpsWindow& fps_window(int i) const { return windows_[i]; }
    const char* title() const { return title_; }
    Server* server() const { return server_; }
    Client* client() const { return client_; }
    Hive* hive() const { return hive_; }
    ShareManager* share_manager() const { return share_; }

private:
    // Start-up's base directories: those of the option `base`, then "kavrin".
    int mount_bases();
    // The frame's work; frame() adds what ends every frame.
    int run_frame();
    void update_statistics(double now);
    void print_statistics();

    const char* system_name_;
    char title_[128] = {};
    ConfigVariable* base_ = nullptr;
    ConfigVariable* fps_ = nullptr;
    ShareManager* share_ = nullptr;
    Client* client_ = nullptr;
    Server* server_ = nullptr;
    double shutdown_start_ = 0.0;
    int shutting_down_ = 0;
    double smoothed_fps_ = 0.0;
    FpsWindow windows_[ENGINE_FPS_WINDOWS];
    Hive* hive_ = nullptr;
};

extern Engine* engine;
