#pragma once
// Saved games: the script state written into a file of the map's folder,
// under the base directory. Loading one is starting the map with it in place
// of "initial.ksv".
class Server;

// Not empty, at most SAVED_NAME_MAX characters, and no '/', '\', ':' or
// "..": a name that stays inside the folder it is joined to.
constexpr int SAVED_NAME_MAX = 255;
bool plain_name(const char* name);

// 1, or 0 after a message, with an earlier save of that name left whole.
int save_game(Server& s, const char* save);
