#pragma once
// The module loader table: one row per file format, IT, XM and S3M in this
// order. Each loader translates its format into ModuleData and reads sample
// data when the device asks for it.
#include "sound/module_contents.h"
#include "sound/song_player.h"

#include <cstdint>

class FileStream;

struct ModLoader {
    // Whether the file is of this format; `head` holds its first `count`
    // bytes. Fills the song name of `info` when given.
    bool (*detect)(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info);
    // Fills the module; false on any failure (the caller frees what it made).
    bool (*load)(ModuleData& module, FileStream* stream);
    // One sample's data as the device wants it; false when the file is short.
    bool (*read_sample)(void* destination, FileStream* stream, const ModSample& sample);
};

constexpr int MOD_LOADERS = 3;
extern const ModLoader mod_loader_table[MOD_LOADERS];

bool it_detect(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info);
bool it_load(ModuleData& module, FileStream* stream);
bool xm_detect(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info);
bool xm_load(ModuleData& module, FileStream* stream);
bool xm_read_sample(void* destination, FileStream* stream, const ModSample& sample);
bool s3m_detect(FileStream* stream, const uint8_t* head, int32_t count, SongInfo* info);
bool s3m_load(ModuleData& module, FileStream* stream);
// Seeks to the data and reads it as stored (IT and S3M).
bool mod_read_sample_raw(void* destination, FileStream* stream, const ModSample& sample);
