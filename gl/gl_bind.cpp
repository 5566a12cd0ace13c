#include "gl/gl_bind.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "gl/gl_bind_internal.h"
#include "gl/gl_ext.h"
#include "gl/gl_texture_manager.h"
#include "host/host_gl.h"

#include <cstring>

namespace GLSys::detail {

ConfigVariable* variables[VARIABLES] = {};
StateCache state;

bool is_true(Variable v) { return variables[v] != nullptr && variables[v]->is_true(); }

int32_t int_value(Variable v) { return variables[v] != nullptr ? variables[v]->int_value() : 0; }

} // namespace GLSys::detail

using namespace GLSys::detail;

namespace {

constexpr uint32_t GL_VARIABLE_FLAGS = 0x100;

struct VariableInfo {
    int type;
    const char* name;
    const char* default_text;
};

// Linked in this order.
constexpr VariableInfo VARIABLE_INFO[GLSys::VARIABLES] = {
    {CVTYPE_INT, "GL_TextureHandles", "16384"},
    {CVTYPE_INT, "GL_TextureCacheSize", "4096"},
    {CVTYPE_BOOL, "R_TFilter", "True"},
    {CVTYPE_BOOL, "R_LFilter", "True"},
    {CVTYPE_INT, "R_FirstMipmap", "0"},
    {CVTYPE_BOOL, "R_Mipmapping", "True"},
    {CVTYPE_BOOL, "R_Trilinear", nullptr},
    {CVTYPE_BOOL, "GL_ReadZbuffer", "True"},
    {CVTYPE_FLOAT, "R_Gamma", "1.0"},
    {CVTYPE_BOOL, "GL_Overbright", "True"},
    {CVTYPE_BOOL, "GL_SquareTextures", nullptr},
    {CVTYPE_INT, "GL_TextureFormat", nullptr},
    {CVTYPE_BOOL, "GL_Finish", nullptr},
};

enum Renderer { GENERIC_GDI, RIVA_128, VOODOO, RAGE_PRO, RIVA_TNT };

constexpr const char* RENDERER_NAMES[GL_RENDERERS] = {"Generic GDI", "RIVA 128", "3Dfx", "RAGE PRO", "RIVA TNT"};

// The settings forced at start-up do not count as changes by the user.
constexpr GLSys::Variable QUIET_AFTER_INIT[] = {
    GLSys::V_TEXTURE_HANDLES, GLSys::V_TEXTURE_CACHE_SIZE, GLSys::V_GAMMA,      GLSys::V_TFILTER,
    GLSys::V_LFILTER,         GLSys::V_FIRST_MIPMAP,       GLSys::V_MIPMAPPING, GLSys::V_TRILINEAR,
    GLSys::V_OVERBRIGHT,      GLSys::V_SQUARE_TEXTURES,    GLSys::V_TEXTURE_FORMAT,
};

// Changing these needs the textures uploaded again.
constexpr GLSys::Variable TEXTURE_VARIABLES[] = {
    GLSys::V_TFILTER,    GLSys::V_LFILTER,         GLSys::V_FIRST_MIPMAP,   GLSys::V_MIPMAPPING,
    GLSys::V_TRILINEAR,  GLSys::V_SQUARE_TEXTURES, GLSys::V_TEXTURE_FORMAT,
};

const char* gl_vendor = nullptr;
const char* gl_renderer = nullptr;
const char* gl_version = nullptr;
const char* gl_extensions_text = nullptr;
int renderer_row = -1;

const char* gl_string(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }

// A driver may give no string; the logs and comparisons then see an empty one.
const char* shown(const char* text) { return text != nullptr ? text : ""; }

// A driver's extension list runs to thousands of characters, more than the
// print ring holds: it goes out in lines of whole names, each well inside it.
constexpr size_t EXTENSION_LINE = 1000;

void print_extensions(const char* text)
{
    const char* rest = shown(text);
    do {
        size_t n = std::strlen(rest);
        if (n > EXTENSION_LINE) {
            n = EXTENSION_LINE;
            // A name longer than a line is cut; any other ends the line whole.
            while (n > 0 && rest[n] != ' ') {
                --n;
            }
            if (n == 0) {
                n = EXTENSION_LINE;
            }
        }
        size_t shown_n = n;
        while (shown_n > 0 && rest[shown_n - 1] == ' ') {
            --shown_n;
        }
        print_format(P_MESSAGE, "OpenGL extensions: %.*s", static_cast<int>(shown_n), rest);
        rest += n;
        while (*rest == ' ') {
            ++rest;
        }
    } while (*rest != '\0');
}

int link_variables()
{
    K_ASSERT(cvar_list);
    for (int i = 0; i < GLSys::VARIABLES; ++i) {
        if (variables[i] == nullptr) {
            const VariableInfo& info = VARIABLE_INFO[i];
            variables[i] = cvar_list->link(info.type, GL_VARIABLE_FLAGS, info.name, info.default_text, 0);
        }
        if (variables[i] == nullptr) {
            return 0;
        }
    }
    return 1;
}

bool take_changed(GLSys::Variable v) { return variables[v] != nullptr && variables[v]->check_changed(); }

} // namespace

namespace GLSys {

int match_renderer(const char* text)
{
    if (text == nullptr) {
        return -1;
    }
    for (int i = 0; i < GL_RENDERERS; ++i) {
        if (std::strncmp(RENDERER_NAMES[i], text, std::strlen(RENDERER_NAMES[i])) == 0) {
            return i;
        }
    }
    return -1;
}

const char* renderer_name(int index) { return index >= 0 && index < GL_RENDERERS ? RENDERER_NAMES[index] : nullptr; }

void force_renderer_settings(int index)
{
    if (index == VOODOO) {
        variables[V_READ_ZBUFFER]->set_bool(0);
    }
    if (index == RIVA_128) {
        variables[V_GAMMA]->set_float(0.75f);
        variables[V_OVERBRIGHT]->set_bool(0);
        variables[V_SQUARE_TEXTURES]->set_bool(1);
    }
    if (index == RAGE_PRO) {
        variables[V_TEXTURE_FORMAT]->set_int(1);
    }
    if (index == VOODOO || index == RIVA_TNT) {
        variables[V_FINISH]->set_bool(1);
    }
}

int init()
{
    gl_vendor = gl_string(GL_VENDOR);
    gl_renderer = gl_string(GL_RENDERER);
    gl_version = gl_string(GL_VERSION);
    gl_extensions_text = gl_string(GL_EXTENSIONS);
    if (report_errors("GetString from GLSys::init()") != 0) {
        return 0;
    }
    print_format(P_MESSAGE, "OpenGL vendor: %s", shown(gl_vendor));
    print_format(P_MESSAGE, "OpenGL renderer: %s", shown(gl_renderer));
    print_format(P_MESSAGE, "OpenGL version: %s", shown(gl_version));
    print_extensions(gl_extensions_text);

    renderer_row = match_renderer(gl_renderer);

    if (gl_extensions[0].load(gl_extensions_text, gl_known_extensions[0]) != 0) {
        print_format(P_MESSAGE, "OpenGL: registered extension %s", gl_extensions[0].name);
    }

    if (link_variables() == 0) {
        return 0;
    }
    force_renderer_settings(renderer_row);

    const int64_t cache_bytes = static_cast<int64_t>(int_value(V_TEXTURE_CACHE_SIZE)) * 1024;
    if (gl_texture_manager.init(int_value(V_TEXTURE_HANDLES), cache_bytes) == 0) {
        return 0;
    }
    for (const Variable v : QUIET_AFTER_INIT) {
        take_changed(v);
    }

    glEnable(GL_DITHER);
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    state = StateCache{};
    state.culling = 0;
    glDisable(GL_CULL_FACE);
    set_polygon_mode(2);
    set_depth(2);
    set_texturing(1);
    set_blending(0);
    return 1;
}

void close()
{
    gl_texture_manager.close();
    for (ConfigVariable*& v : variables) {
        release_variable(v);
    }
}

void finish()
{
    if (is_true(V_FINISH)) {
        glFinish();
    }
}

void check_texture_variables()
{
    bool flush = false;
    for (const Variable v : TEXTURE_VARIABLES) {
        flush = take_changed(v) || flush;
    }
    if (flush) {
        gl_texture_manager.flush();
    }
    const bool handles = take_changed(V_TEXTURE_HANDLES);
    if (take_changed(V_TEXTURE_CACHE_SIZE) || handles) {
        print_string(P_MESSAGE, "You must reset the video mode for this variable to take effect");
    }
}

float read_depth(int32_t x, int32_t y)
{
    if (!is_true(V_READ_ZBUFFER)) {
        return 1.0f;
    }
    GLfloat depth = 1.0f;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return depth;
}

void call_extension(int ext, int function, uint32_t a, const void* b)
{
    K_ASSERT(ext >= 0 && ext < GL_KNOWN_EXTENSIONS);
    gl_extensions[ext].call(function, a, b);
}

const char* vendor() { return gl_vendor; }
const char* renderer() { return gl_renderer; }
const char* version() { return gl_version; }
const char* extensions() { return gl_extensions_text; }
int renderer_index() { return renderer_row; }

ConfigVariable* variable(Variable v) { return v >= 0 && v < VARIABLES ? variables[v] : nullptr; }

} // namespace GLSys
