#pragma once
// A client over its own hive (loopback and playback), a memory video driver,
// a manual clock, a queue of window events and a scratch directory that is
// the current directory and the file system's one mount.
#include "client/client.h"
#include "client/client_input.h"
#include "client/client_map.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "client/client_renderer.h"
#include "client/client_sound.h"
#include "sound_records.h"
#include "platform/input_device.h"
#include "platform/win32_sys.h"
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/share_manager.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "fake_server.h"
#include "generated_map.h"
#include "recording_renderer.h"
#include "fsys/fsys.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "net/hive.h"
#include "net/loopback_protocol.h"
#include "net/net_socket.h"
#include "net/vcr_protocol.h"
#include "platform/message_pump.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"
#include "soft/windowed_dib.h"
#include "support/print_capture.h"
#include "tools/mapgen/mapgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

// A video mode in memory: a frame buffer and nothing shown.
class MemoryMode final : public KVideoMode {
public:
    MemoryMode()
    {
        modes = table_;
        mode_count = 2;
    }
    ~MemoryMode() override { close_mode(); }
    int init_mode(int32_t width, int32_t height) override
    {
        close_mode();
        xres = width > 0 ? width : 320;
        yres = height > 0 ? height : (width > 0 ? width * 3 / 4 : 240);
        if (fail_width != 0 && xres == fail_width) {
            xres = yres = 0;
            return 0;
        }
        line_width = xres;
        pages = 1;
        if (init_line_offsets() == 0) {
            return 0;
        }
        pixels_.assign(static_cast<size_t>(xres) * static_cast<size_t>(yres), 0u);
        framebuffer = pixels_.data();
        ++opened;
        return 1;
    }
    void close_mode() override
    {
        if (xres != 0) {
            ++closed;
        }
        reset_mode_fields();
        pixels_.clear();
    }
    int begin_frame() override { return 0; }
    void present(const VideoRect&) override { ++presented; }
    void end_frame() override {}

    static inline int opened = 0;
    static inline int closed = 0;
    static inline int presented = 0;
    static inline int created = 0;
    static inline int32_t fail_width = 0; // a width whose init fails

private:
    VideoModeRecord table_[2] = {{320, 240, 0, 1}, {640, 480, 1, 2}};
    std::vector<uint32_t> pixels_;
};

// A sound system that remembers what the console asked of it.
class RecordingSound final : public ClientSound {
public:
    int init() override { return 1; }
    void shutdown() override { destroy_sources(); }
    void update(const CObjCommon* listener) override { last_listener = listener; }
    int load_song(const char* name, int slot) override
    {
        log += "load " + std::string(name) + " " + std::to_string(slot) + ";";
        return std::string(name) != "missing" ? 1 : 0;
    }
    int start_song(int slot) override
    {
        log += "start " + std::to_string(slot) + ";";
        return 1;
    }
    void free_song(int slot) override { log += "free " + std::to_string(slot) + ";"; }
    void pause() override { log += "pause;"; }
    void resume() override { log += "resume;"; }
    bool has_device() const override { return false; }
    double take_mix_time() override { return 0.0; }
    CObjManager* create_sources(int count) override { return sources.create(count) != 0 ? &sources : nullptr; }
    void destroy_sources() override { sources.destroy(); }

    std::string log;
    const CObjCommon* last_listener = nullptr;
    SoundRecords sources;
    static inline RecordingSound* last = nullptr;
};

inline ClientSound* make_recording_sound()
{
    RecordingSound::last = new RecordingSound;
    return RecordingSound::last;
}

// The platform's mouse as the client's input sees it.
class TestMouse final : public InputDevice {
public:
    TestMouse()
    {
        name = "Mouse";
        valid = 1;
    }
    void read(InputDeviceState& s, double, double) override { s = state; }
    InputDeviceState state;
};

inline KVideoMode* make_memory_mode()
{
    ++MemoryMode::created;
    return new MemoryMode;
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        folder_ = std::filesystem::temp_directory_path() /
                  ("ostrel_client_" + std::to_string(seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        previous_dir_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);

        cvar_list = &variables_;
        command_line = &arguments_;
        std::vector<const char*> argv = {"ostrel", "-video", "MEM"};
        argv.insert(argv.end(), extra_arguments().begin(), extra_arguments().end());
        ASSERT_EQ(arguments_.parse(static_cast<int>(argv.size()), argv.data()), 1);
        base_ = cvar_list->link(CVTYPE_STRING, 0x40, "Base", nullptr, 1);
        base_->set_string("kavrin");
        sine_table = &sines_;
        ASSERT_EQ(sines_.init(4096), 1);
        random_table = &randoms_;
        ASSERT_EQ(randoms_.init(1024), 1);
        fsys = &files_;
        ASSERT_EQ(files_.init(), 1);
        ASSERT_EQ(files_.mount(folder_.string().c_str(), 1, 0), 1);
        clock_guard_ = std::make_unique<host::ScopedClock>(&clock_);
        events_guard_ = std::make_unique<host::ScopedEventSource>(&events_);
        pump_reset();

        video_reset_registry();
        ASSERT_EQ(video_register_driver("MEM", "Memory frame buffer", 32, make_memory_mode), 1);
        ASSERT_EQ(video_register_driver("MEM2", "Second memory buffer", 32, make_memory_mode), 1);
        MemoryMode::opened = MemoryMode::closed = MemoryMode::presented = MemoryMode::created = 0;
        MemoryMode::fail_width = 0;

        set_client_sound_factory(make_recording_sound);
        set_client_renderer_factory(RecordingRenderer::make);
        devices_[0] = &mouse_;
        platform_.devices = devices_;
        platform_.device_count = 1;
        win32sys = &platform_;

        hive_.add_protocol(vcr_protocol_create());
        hive_.add_protocol(loopback_protocol_create());
        client_ = std::make_unique<Client>();
        ASSERT_EQ(client_->init(&hive_, &share_), 1);
        // The console took the print streams; the tests read them.
        capture_ = std::make_unique<PrintCapture>();
        capture_->show_all();
        server_ = std::make_unique<fake::Server>(hive_);
    }

    void TearDown() override
    {
        server_.reset();
        client_.reset();
        capture_.reset();
        hive_.shutdown();
        video_reset_registry();
        set_client_sound_factory(nullptr);
        set_client_renderer_factory(nullptr);
        platform_.devices = nullptr;
        platform_.device_count = 0;
        win32sys = nullptr;
        events_guard_.reset();
        clock_guard_.reset();
        files_.close();
        fsys = nullptr;
        sine_table = nullptr;
        random_table = nullptr;
        cvar_list->release(base_);
        command_line = nullptr;
        cvar_list = nullptr;
        std::filesystem::current_path(previous_dir_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    virtual const std::vector<const char*>& extra_arguments() const
    {
        static const std::vector<const char*> none;
        return none;
    }

    double now() const { return static_cast<double>(clock_.micros()) / 1e6; }
    // One client frame, seconds after the last.
    int frame(double seconds = 0.02)
    {
        clock_.advance_seconds(seconds);
        return client_->frame(now());
    }
    void run(const char* text)
    {
        ASSERT_EQ(client_->cons_cmd()->add_text(text), 1);
        client_->cons_cmd()->exec_buffer();
    }
    ConfigVariable* var(const char* name) { return cvar_list->find(name); }
    RecordingRenderer* renderer() { return static_cast<RecordingRenderer*>(client_->renderer()); }
    RecordingSound* sound() { return static_cast<RecordingSound*>(client_->sound()); }

    // Writes the generated map into maps/<name>.
    void make_map(const std::string& name, const std::string& description = "three_rooms")
    {
        write_generated_map(description, (folder_ / "maps" / name).string());
    }

    // Connects to the fake server and has it accept; the client is then in state 4.
    void connect_and_accept(const std::string& commands = "")
    {
        run("Connect local");
        for (int i = 0; i < 10 && !server_->connected(); ++i) {
            (void)server_->accept();
            frame();
        }
        ASSERT_TRUE(server_->connected());
        server_->send_accept("kavrin", "Test game", commands);
        server_->flush();
        frame();
        ASSERT_EQ(client_->net_state(), CSTATE_ACCEPTED);
    }

    // Loads the map through the server's message and checks the answer.
    void load_map(const std::string& name, uint32_t word = 0x1234)
    {
        server_->send_map_load(name, word);
        server_->flush();
        frame();
        server_->receive();
        ASSERT_FALSE(server_->maps_loaded.empty());
        ASSERT_EQ(server_->maps_loaded.back().word, word);
        ASSERT_TRUE(client_->map_active());
    }

    std::filesystem::path folder_;
    std::filesystem::path previous_dir_;
    ConfigVariableList variables_;
    CommandLine arguments_;
    ConfigVariable* base_ = nullptr;
    SineTable sines_;
    RandomTable randoms_;
    FSys files_;
    host::ManualClock clock_;
    host::QueueEventSource events_;
    std::unique_ptr<host::ScopedClock> clock_guard_;
    std::unique_ptr<host::ScopedEventSource> events_guard_;
    Win32Sys platform_;
    TestMouse mouse_;
    InputDevice* devices_[1] = {};
    ShareManager share_;
    Hive hive_;
    std::unique_ptr<Client> client_;
    std::unique_ptr<PrintCapture> capture_;
    std::unique_ptr<fake::Server> server_;
};
