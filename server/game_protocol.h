#pragma once
// Message ids and constants of the game protocol, server side.
#include <cstdint>

constexpr uint32_t NET_PROTOCOL_VERSION = 10;
constexpr uint32_t NET_GAME_MAGIC = 0x4B5652;

// From the client.
constexpr int NETM_INPUT = 0;
constexpr int NETM_IMPULSES = 48;
constexpr int NETM_COMMAND = 49;
constexpr int NETM_MAPLOADED = 50;
constexpr int NETM_DUMMY = 224;

// To the client.
constexpr int NETM_UPDATE = 0x60;
constexpr int NETM_REJECT = 0x61;
constexpr int NETM_ACCEPT = 0xB0;
constexpr int NETM_LOADMAP = 0xB1;
constexpr int NETM_MAPCHANGE = 0xB2;
constexpr int NETM_TEXT = 0xC1;

constexpr uint32_t NETM_IMF_RELEASE = 0x80;

constexpr int NETM_REQUEST_BYTES = 256;  // connection request
constexpr int NETM_COMMAND_CHARS = 1024; // command text with its terminator
constexpr int NETM_TEXT_MAX = 256;       // characters of a text sent to clients
constexpr int NETM_MAPNAME_CHARS = 9;

constexpr const char* NETM_GAME_TITLE = "Kavrin engine demo";
constexpr const char* NETM_SERVER_COMMANDS = "Map Load Save CloseMap";
