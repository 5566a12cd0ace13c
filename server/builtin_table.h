#pragma once
// The builtin table that the server hands to its script context: row 0 the
// variable "_ticks_per_second", rows 1-144 the native functions in their
// fixed order; and the names of the script functions the server and the
// script machine call.
#include "script/kcontext.h"

constexpr int BUILTIN_ROWS = 145;
constexpr int REQUIRED_NAMES = 8;

// Rows of the required-names table.
constexpr int REQUIRED_OBJECT_UNLINK = 0;
constexpr int REQUIRED_OBJECT_START = 1;
constexpr int REQUIRED_OBJECT_VALID = 2;
constexpr int REQUIRED_OBJECT_LOCK = 3;
constexpr int REQUIRED_OBJECT_UNLOCK = 4;
constexpr int REQUIRED_OBJECT_INIT = 5;
constexpr int REQUIRED_SPAWNCLIENT = 6;
constexpr int REQUIRED_ARCHIVE = 7;

// BUILTIN_ROWS rows and the end row.
const kbuiltin_t* builtin_table();
// REQUIRED_NAMES rows and the end row; the addresses are the link's to fill.
const krequired_t* required_names();

// Handlers of the rows that work now; the others report that they are not there yet.
void builtin_get_node_info(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_register_node(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_find_route(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_destroy_route(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_create_route(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_move_target(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_place_target(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_destroy_target(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_create_target(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_dump(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_client_group(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_is_client_administrator(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_is_client_cheater(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_client_name(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_input_info(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_input_impulse(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_input_type(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_cmos(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_unregister_command(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_register_command(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_print(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_sprint(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_cprint(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_pfloat(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_pvector(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_pline(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_time(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_ticks(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_normalize_angle(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_Cos(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_Sin(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_random_vector(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_random(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_rotate(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_pitch_angle(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_heading_angle(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_up_vector(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_right_vector(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_forward_vector(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_chain_filters(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_server_command(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_exit(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_camera(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_bind_camera(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_unbind_camera(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_get_camera_position(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_camera_filter(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
void builtin_set_camera_zoom(void* host, kcontext_t* c, const uint8_t* args, uint32_t bytes);
