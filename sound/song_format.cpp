#include "sound/song_format.h"

#include "sound/stream_player.h"

// Row 0 belongs to the module player, which fills it in when it is built.
const SongFormat song_format_table[SONG_FORMATS] = {
    {nullptr, nullptr},
    {stream_player_detect, stream_player_create},
};
