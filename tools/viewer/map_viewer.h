#pragma once
// Draws a map of a base directory headless: the engine's file system over
// the base (and a scratch directory with the screen's font and pictures),
// the world loader, and the BSP renderer on a memory video mode.
#include "core/config_variable.h"
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "world/view/bsp_renderer.h"
#include "world/view/client_world.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "tools/viewer/memory_video_mode.h"

#include <memory>
#include <string>

class MapViewer {
public:
    MapViewer() = default;
    ~MapViewer();
    MapViewer(const MapViewer&) = delete;
    MapViewer& operator=(const MapViewer&) = delete;

    // Loads maps/<map> of the base directory for a width x height window;
    // false with a message.
    bool open(const std::string& base, const std::string& map, int32_t width, int32_t height, std::string& error);
    // One frame from the pose (see camera_pose.h) at the client's tick count;
    // clear: the window is cleared first (a sealed map needs no clearing).
    void draw(const Vector& position, float yaw, float pitch, int32_t ticks, bool clear = true);
    // The window as a 24-bit BMP file.
    bool write_bmp(const std::string& path) const;
    bool set_variable(const char* name, const char* value);

    ScreenProjection& projection() { return projection_; }
    BspRenderer& renderer() { return renderer_; }
    ClientWorld& world() { return world_; }

private:
    void close();

    ConfigVariableList variables_;
    ConfigVariableList* saved_variables_ = nullptr;
    FSys files_;
    FSys* saved_files_ = nullptr;
    SineTable sine_;
    SineTable* saved_sine_ = nullptr;
    std::string scratch_;
    ShareManager share_;
    ClientWorld world_;
    std::unique_ptr<MemoryFrameMode> mode_;
    ScreenManager screen_;
    ScreenProjection projection_;
    BspRenderer renderer_;
    bool open_ = false;
};
