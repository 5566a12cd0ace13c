#include "tools/viewer/map_viewer.h"

#include "core/print.h"
#include "tools/assets/demo_assets.h"
#include "tools/viewer/camera_pose.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

constexpr int32_t SINE_STEPS = 4096;

void put16(std::ofstream& out, uint32_t v)
{
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    out.write(b, 2);
}

void put32(std::ofstream& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

MapViewer::~MapViewer() { close(); }

void MapViewer::close()
{
    if (!open_) {
        return;
    }
    renderer_.clear_world();
    if (world_.screen != nullptr) {
        world_.detach_screen();
    }
    world_.close_map();
    renderer_.close();
    projection_.shutdown();
    screen_.shutdown();
    files_.close();
    fsys = saved_files_;
    sine_table = saved_sine_;
    cvar_list = saved_variables_;
    std::error_code ec;
    std::filesystem::remove_all(scratch_, ec);
    open_ = false;
}

bool MapViewer::open(const std::string& base, const std::string& map, int32_t width, int32_t height,
                     std::string& error)
{
    close();
    open_ = true;
    saved_variables_ = cvar_list;
    cvar_list = &variables_;
    saved_files_ = fsys;
    fsys = &files_;
    saved_sine_ = sine_table;
    sine_table = &sine_;
    scratch_ = (std::filesystem::temp_directory_path() / ("ostrel-view-" + std::to_string(getpid()))).string();
    if (sine_.init(SINE_STEPS) == 0 || files_.init() == 0 || !tools::write_demo_assets(scratch_) ||
        files_.mount(base.c_str(), 1, 20) == 0 || files_.mount(scratch_.c_str(), 2, 10) == 0) {
        error = "can't set up the file system over " + base;
        return false;
    }
    share_.register_type(MAP_SHARE_ID, SharedMap::create);
    share_.register_type(VOLUME_SHARE_ID, VolumeSet::create);
    uint32_t identifier = 0;
    if (load_world(world_, &share_, ("maps/" + map).c_str(), &identifier) == 0) {
        error = "can't load maps/" + map;
        return false;
    }
    mode_ = std::make_unique<MemoryFrameMode>(width, height);
    if (screen_.init(mode_.get(), "backgrnd", "loading", "small.fnt") == 0 || projection_.init(&screen_) == 0 ||
        renderer_.init(&projection_) == 0) {
        error = "can't open the renderer";
        return false;
    }
    world_.attach_screen(&projection_);
    renderer_.set_world(&world_);
    return true;
}

bool MapViewer::set_variable(const char* name, const char* value)
{
    ConfigVariable* const v = variables_.find(name);
    if (v == nullptr) {
        return false;
    }
    v->set_string(value);
    return true;
}

void MapViewer::draw(const Vector& position, float yaw, float pitch, int32_t ticks, bool clear)
{
    ViewFrame view;
    set_camera(view, position, yaw, pitch);
    projection_.set_time(ticks);
    projection_.begin_frame(view);
    if (clear) {
        projection_.clear_window();
    }
    renderer_.draw_world();
}

bool MapViewer::write_bmp(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary);
    const int32_t w = projection_.xsize;
    const int32_t h = projection_.ysize;
    const uint32_t row = (3 * static_cast<uint32_t>(w) + 3) & ~3u;
    out.write("BM", 2);
    put32(out, 54 + row * static_cast<uint32_t>(h));
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(w));
    put32(out, static_cast<uint32_t>(h));
    put16(out, 1);
    put16(out, 24);
    for (int i = 0; i < 6; ++i) {
        put32(out, 0);
    }
    const uint8_t* s = projection_.rgb_layout;
    std::vector<char> line(row, 0);
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint32_t* p = projection_.window_pixels + projection_.line_offset[y];
        for (int32_t x = 0; x < w; ++x) {
            line[static_cast<size_t>(3 * x)] = static_cast<char>((p[x] >> s[2]) & 0xFF);
            line[static_cast<size_t>(3 * x + 1)] = static_cast<char>((p[x] >> s[1]) & 0xFF);
            line[static_cast<size_t>(3 * x + 2)] = static_cast<char>((p[x] >> s[0]) & 0xFF);
        }
        out.write(line.data(), static_cast<std::streamsize>(row));
    }
    return static_cast<bool>(out);
}
