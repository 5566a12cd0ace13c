#pragma once
// A generated map loaded by the world loader into a ClientWorld and drawn by
// the BSP renderer on a memory video mode; the map's files (and the textures
// they name) are written into the scratch base directory "kavrin".
#include "core/share_manager.h"
#include "core/sine_table.h"
#include "core/view_frame.h"
#include "world/view/bsp_renderer.h"
#include "world/view/client_world.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "support/print_capture.h"
#include "support/screen_fixture.h"
#include "tools/mapgen/mapgen.h"
#include "tools/viewer/camera_pose.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

inline std::string source_file(const std::string& relative)
{
    const char* const root = std::getenv("OSTREL_SOURCE_DIR");
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class WorldView : public ScreenBase {
protected:
    void SetUp() override
    {
        ScreenBase::SetUp();
        capture_.show_all();
        saved_sine_ = sine_table;
        ASSERT_EQ(sine_.init(4096), 1);
        sine_table = &sine_;
        ASSERT_EQ(share_.register_type(MAP_SHARE_ID, SharedMap::create), 1);
        ASSERT_EQ(share_.register_type(VOLUME_SHARE_ID, VolumeSet::create), 1);
    }

    void TearDown() override
    {
        renderer_.clear_world();
        if (world_.screen != nullptr) {
            world_.detach_screen();
        }
        world_.close_map();
        renderer_.close();
        projection_.shutdown();
        screen_.shutdown();
        sine_table = saved_sine_;
        ScreenBase::TearDown();
    }

    // The generator's files of a description, written under maps/<name>.
    mapgen::MapFiles write_map(const std::string& name, const std::string& description)
    {
        mapgen::MapFiles files;
        std::string error;
        EXPECT_TRUE(mapgen::generate_map(description, files, error)) << error;
        write_files(name, files);
        return files;
    }
    void write_files(const std::string& name, const mapgen::MapFiles& files)
    {
        std::string error;
        EXPECT_TRUE(mapgen::write_map_directory(files, tree_.path("kavrin/maps/" + name), error)) << error;
        EXPECT_TRUE(mapgen::write_map_textures(files, tree_.path("kavrin"), error)) << error;
    }
    mapgen::MapFiles write_source_map(const std::string& name)
    {
        return write_map(name, source_file("tools/mapgen/maps/" + name + ".rooms"));
    }

    int load(const std::string& name)
    {
        identifier_ = 0;
        return load_world(world_, &share_, ("maps/" + name).c_str(), &identifier_);
    }

    // Opens the renderer on a w x h memory mode and binds the loaded world.
    void start_view(int32_t w, int32_t h)
    {
        mode_ = std::make_unique<MemoryVideoMode>(w, h, 1, w + 3);
        ASSERT_EQ(screen_.init(mode_.get(), "backgrnd", "loading", "small.fnt"), 1);
        ASSERT_EQ(projection_.init(&screen_), 1);
        ASSERT_EQ(renderer_.init(&projection_), 1);
        world_.attach_screen(&projection_);
        renderer_.set_world(&world_);
    }

    void set(const char* name, const char* value)
    {
        ConfigVariable* v = cvar_list->find(name);
        ASSERT_NE(v, nullptr) << name;
        v->set_string(value);
    }

    // One frame from the pose; the window is first filled with `fill`.
    void draw(const Vector& position, float yaw, float pitch, uint32_t fill = 0)
    {
        ViewFrame view;
        set_camera(view, position, yaw, pitch);
        projection_.set_time(ticks_);
        projection_.begin_frame(view);
        projection_.clear_window();
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            std::fill_n(projection_.window_pixels + projection_.line_offset[y], projection_.xsize, fill);
        }
        renderer_.draw_world();
    }

    std::vector<uint32_t> frame() const
    {
        std::vector<uint32_t> out;
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            const uint32_t* row = projection_.window_pixels + projection_.line_offset[y];
            out.insert(out.end(), row, row + projection_.xsize);
        }
        return out;
    }

    PrintCapture capture_;
    SineTable sine_;
    SineTable* saved_sine_ = nullptr;
    ShareManager share_;
    ClientWorld world_;
    uint32_t identifier_ = 0;
    std::unique_ptr<MemoryVideoMode> mode_;
    ScreenManager screen_;
    ScreenProjection projection_;
    BspRenderer renderer_;
    int32_t ticks_ = 0;
};
