#pragma once
// The server's side of the script machine: the script context with the
// region of its arena where the server hands things to scripts by address,
// the persistent block kept in "config/kcmos.bin", the script object files
// of "k/koblist.txt", the map's script state, what builtins learn of the
// clients, and console commands that call back into the scripts.
#include <cstdint>
#include <string>

class FileStream;
class Server;
struct kcontext_t;

constexpr const char* KCMOS_PATH = "config/kcmos.bin";
constexpr const char* KOBLIST_PATH = "k/koblist.txt";
constexpr const char* INITIAL_STATE_PATH = "initial.ksv";
constexpr int32_t KOBLIST_MAX = 255;
constexpr uint32_t KOBLIST_BUFFER = 8192;
constexpr uint32_t KCMOS_VERSION = 1;

// A client's input block as scripts read it.
constexpr uint32_t SCRIPT_INPUT_BYTES = 9 * 4 + 4 + 4;
constexpr uint32_t SCRIPT_NAME_BYTES = 32;
// Cells of tag values handed to scripts, per meta-model of the map.
constexpr int32_t SCRIPT_TAGS_PER_MODEL = 64;

// Where the host-export region keeps each part (arena addresses).
struct ScriptExports {
    uint32_t cmos = 0;   // the persistent block
    uint32_t inputs = 0; // one input block per client slot
    uint32_t names = 0;  // one name per client slot
    uint32_t argv = 0;   // the argument vector of a script command: cells, then the text
    uint32_t texts = 0;  // the ring of temporary texts that builtins answer
    uint32_t texts_used = 0;
    uint32_t tags = 0;  // a cell per tag of each meta-model
};

// The server's script context and its export region; 1, or 0 after a message.
int script_context_create(Server& s);
void script_context_free(Server& s);

// Base + "/" + relative: where the engine writes its own files. False when
// there is no base directory, so that nothing is written at the host's root.
bool base_path(const char* relative, std::string& path);

int kcmos_read(Server& s, FileStream* stream);
void kcmos_save(Server& s);
int koblist_load(Server& s, const char* path);
int initial_save_load(Server& s, const char* path);

// Client getters for the builtins; the slot is checked by the caller.
int32_t get_client_camera(Server& s, int c);
uint32_t get_input_info(Server& s, int c);
int32_t get_input_type(Server& s, int c);
int32_t get_input_impulse(Server& s, int c);
uint32_t get_client_name(Server& s, int c);
int32_t is_cheater(Server& s, int c);
int32_t is_administrator(Server& s, int c);
void set_client_group(Server& s, int c, int32_t group);

// A volume number for an object, or -1 when there is none.
int32_t get_object_volume(Server& s, int32_t id, uint32_t contents);
void dump(Server& s, uint32_t object);

int register_script_command(Server& s, const char* name, uint32_t function, int32_t id, uint32_t value,
                            const char* help, int32_t flag);
int unregister_script_command(Server& s, const char* name, uint32_t function, int32_t id);
// Drops every script command (at the end of the map's script world).
void unregister_script_commands(Server& s);
