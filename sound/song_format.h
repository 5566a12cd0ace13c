#pragma once
// The song formats the sound system knows, tried in row order: row 0 the
// tracker modules, row 1 the wave streams. The header is the file's first
// SONG_HEADER_BYTES bytes (fewer for a shorter file).
#include <cstdint>

class FileStream;
class SongPlayer;
class SoundDevice;
struct SongInfo;

constexpr int32_t SONG_HEADER_BYTES = 4096;
constexpr int SONG_FORMATS = 2;
constexpr int SONG_FORMAT_MODULE = 0;
constexpr int SONG_FORMAT_STREAM = 1;

// Non-zero when the format recognises the header; fills info when given.
using SongDetect = int (*)(FileStream* stream, const uint8_t* header, int32_t length, SongInfo* info);
// A new player, or null.
using SongCreate = SongPlayer* (*)(SoundDevice* device, FileStream* stream, const uint8_t* header, int32_t length);

struct SongFormat {
    SongDetect detect;
    SongCreate create;
};

// A row whose functions are null is passed over.
extern const SongFormat song_format_table[SONG_FORMATS];
