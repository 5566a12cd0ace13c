#pragma once
// Builtins of visible objects: creating the objects that carry a model
// (mesh objects, sprites, the map's BSP objects), placing any object on a
// physical entity and on its carrier, choosing its audience, and querying or
// posing a mesh object's model. Each checks its cells and calls one
// operation of the mirror or of the mesh objects.
#include "script/kcontext.h"

#include <cstdint>

class Server;

// A visual id from a script: 0 or more, else the script's fault.
int32_t visual_of(kcontext_t* c, int32_t visual_id);
// A visual id that the mirror can act on: also of a class with a manager.
int32_t managed_visual_of(Server& s, kcontext_t* c, int32_t visual_id);

void builtin_create_sprite(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_create_bsp_model(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_create_mesh_model(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_bind_visual(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_unbind_visual(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_reset_interpolation(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_visual_position(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_visual_angles(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_visual_client(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_destroy_visual(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);

void builtin_get_size(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_hook(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_model_poses(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_model_pose(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_model_animation(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_model_lighting(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_model_transparency(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_model_tag(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_model_point(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
