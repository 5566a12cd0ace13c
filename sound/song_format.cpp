#include "sound/song_format.h"

#include "sound/module_player.h"
#include "sound/stream_player.h"

const SongFormat song_format_table[SONG_FORMATS] = {
    {module_probe, module_create},
    {stream_player_detect, stream_player_create},
};
