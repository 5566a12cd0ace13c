#pragma once
// The client's console commands: their numbers, names, help texts and
// argument flags, in the order they are registered.

enum ClientCommandId {
    CC_CONNECT = 1,
    CC_DISCONNECT = 2,
    CC_QUIT = 3,
    CC_VERSION = 4,
    CC_CONSOLE = 5,
    CC_CLS = 6,
    CC_SERVER = 7,
    CC_FORWARD = 8,
    CC_RECORD = 9,
    CC_KHEAP_INFO = 16,
    CC_KHEAP_REPORT = 17,
    CC_KHEAP_REPORTLOG = 18,
    CC_KEYDEF = 32,
    CC_KEYRELEASEDEF = 33,
    CC_KEYUNDEF = 34,
    CC_PRESS = 35,
    CC_RELEASE = 36,
    CC_V_DRIVERLIST = 48,
    CC_V_MODELIST = 49,
    CC_V_MODE = 50,
    CC_R_RESIZEUP = 51,
    CC_R_RESIZEDOWN = 52,
    CC_SCREENSHOT = 53,
    CC_SNG_PLAY = 80,
    CC_SNG_STOP = 81,
    CC_SND_PAUSE = 82,
    CC_SND_RESUME = 83,
};

struct ClientCommandRow {
    const char* name;
    int id;
    int needs_arguments;
    const char* help;
};

constexpr int CLIENT_COMMAND_COUNT = 27;
extern const ClientCommandRow client_command_table[CLIENT_COMMAND_COUNT];

constexpr const char* CLIENT_VERSION_TEXT = "Kavrin 4.24a Alpha 1 x86/x87 (Win32 Version) (11.12.1998)";
