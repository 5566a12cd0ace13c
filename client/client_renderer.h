#pragma once
// What the client asks of the renderer: the screen around the 3-D window
// (with the console's text list), the projection of the camera's view, and
// the world renderer that draws the loaded map. The client drives the order
// of every step; a renderer only carries them out, so that the software and
// the OpenGL screens can stand behind the same client.
#include <cstdint>

class ClientMap;
class KVideoMode;
class ScreenManager;
class ScreenProjection;
class TextScreen;
class ViewFrame;

class ClientRenderer {
public:
    virtual ~ClientRenderer() = default;

    // The screen manager on the open mode; 1 or 0.
    virtual int init_screen(KVideoMode* mode, const char* font, const char* background, const char* loading) = 0;
    // After a failed init_screen: whether the font could not be read.
    virtual bool font_failed() const { return false; }
    // The projection on the screen; 1 or 0.
    virtual int init_projection() = 0;
    // The world renderer on the projection; 1 or 0.
    virtual int init_world_renderer() = 0;
    virtual void close_world_renderer() = 0;
    // Shuts down and deletes the projection, then the screen.
    virtual void close_screen() = 0;
    virtual bool has_screen() const = 0;
    virtual bool has_projection() const = 0;
    // The console's text list; null without a screen.
    virtual TextScreen* text_screen() = 0;

    // loading: 1 shows the loading picture as backdrop, 0 the background.
    virtual void begin_frame(int loading) = 0;
    // screenshot: 1 writes this frame as a screenshot.
    virtual void present(int screenshot) = 0;
    // The 3-D window's size on the screen; (0, 0) when no map is shown.
    virtual void set_window_size(int32_t width, int32_t height) = 0;
    virtual void set_projection_size(int32_t width, int32_t height) = 0;
    // The polygon renderer takes the new window size.
    virtual void set_resolution() = 0;
    // The client's interpolation tick total: the time of the renderer's animations.
    virtual void set_time(int32_t ticks) = 0;
    virtual void begin_view(const ViewFrame& view) = 0;
    virtual void draw_world() = 0;
    virtual void clear_window() = 0;
    virtual void print_timing() = 0;
    virtual void print_stats() = 0;

    // The loaded map, given to the world renderer and bound to the screen.
    virtual void set_world(ClientMap* map) = 0;
    virtual void clear_world() = 0;
    virtual void attach_world() = 0;
    virtual void detach_world() = 0;
    // The program's screen and projection that the entity classes bind to;
    // null while there are none.
    virtual ScreenProjection* projection() { return nullptr; }
    virtual ScreenManager* screen_manager() { return nullptr; }
    // The pixel layouts with which textures are converted to the screen and back.
    virtual const uint8_t* attach_layout() const = 0;
    virtual const uint8_t* detach_layout() const = 0;
};

using ClientRendererFactory = ClientRenderer* (*)();
// The renderer the client makes for each mode: the program's own unless a
// test set another (null restores the program's).
ClientRendererFactory client_renderer_factory();
void set_client_renderer_factory(ClientRendererFactory factory);
// Whether the client opens a video mode: false in a program that has no
// renderer for the client yet, which then runs without a screen.
bool client_has_video();

// Each program's renderer object defines these two.
ClientRenderer* program_renderer();
bool program_has_video();
