#pragma once
// GLSys: the OpenGL program's layer over OpenGL 1.1. It starts on a current
// context (driver strings, renderer, variables, extensions, texture cache,
// initial state), keeps five pieces of GL state cached, uploads 32-bit RGBA
// images with their mip levels and reports GL errors with their call site.
// Every other GL state change of the renderer goes through the setters.
#include <cstdint>

class ConfigVariable;

// Kinds of an upload: they choose the internal format and the filter.
constexpr int GLTEX_RGB = 0;
constexpr int GLTEX_RGBA = 1;
constexpr int GLTEX_LIGHTMAP = 2;
constexpr int GLTEX_ALPHA = 3;
constexpr int GLTEX_FONT = 4;

constexpr int GL_RENDERERS = 5;

namespace GLSys {

// 1 on success; needs a current context and cvar_list.
int init();
void close();

// Each returns at once when the mode is the cached one.
void set_culling(int mode);      // 0 off, 1 back faces, 2 front faces
void set_polygon_mode(int mode); // 0 points, 1 lines, 2 filled
void set_depth(int mode);        // 0 off; 1-3 always, lequal, less; 4-6 the same without writing
void set_texturing(int mode);    // 0 off, 1 replace, 2 modulate
void set_blending(int mode);     // 0 off, 1 alpha, 2 modulate (doubled with GL_Overbright), 3 add

void finish();
// Once a frame: flushes the texture cache after a change of the texture variables.
void check_texture_variables();
// Depth in 0..1 at window pixel (x, y); 1 without GL_ReadZbuffer.
float read_depth(int32_t x, int32_t y);

// Uploads into the bound texture; pixels are RGBA bytes, four a texel.
void send_mipmap(const void* pixels, int level, int32_t width, int32_t height, int kind);
void send_texture(const void* pixels, int32_t width, int32_t height, int kind);
// levels: level 0 and each halved level down to 1 x 1.
void send_mipmaps(const void* const* levels, int32_t width, int32_t height, int kind);
void update_mipmaps(const void* const* levels, int32_t width, int32_t height);
void send_subimage(const void* pixels, int32_t x, int32_t y, int32_t width, int32_t height);
// Images handed to GL so far (each level and each sub-image one): a frame
// that changes nothing adds none.
uint64_t uploads();

// 0 when GL had no error; else prints each error against site and returns 1.
int report_errors(const char* site);

void call_extension(int ext, int function, uint32_t a, const void* b);

// Driver strings and the renderer found by the last init.
const char* vendor();
const char* renderer();
const char* version();
const char* extensions();
int renderer_index();

// Steps of init, open to tests: the renderer table row whose name begins the
// renderer string (-1 for none), and the settings forced for a row.
int match_renderer(const char* renderer);
const char* renderer_name(int index);
void force_renderer_settings(int index);

// The variables, null while not linked.
enum Variable {
    V_TEXTURE_HANDLES,
    V_TEXTURE_CACHE_SIZE,
    V_TFILTER,
    V_LFILTER,
    V_FIRST_MIPMAP,
    V_MIPMAPPING,
    V_TRILINEAR,
    V_READ_ZBUFFER,
    V_GAMMA,
    V_OVERBRIGHT,
    V_SQUARE_TEXTURES,
    V_TEXTURE_FORMAT,
    V_FINISH,
    VARIABLES
};
ConfigVariable* variable(Variable v);

} // namespace GLSys
