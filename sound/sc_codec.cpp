#include "sound/sc_codec.h"

#include "sound/sc_block_codec.h"
#include "sound/sc_sample.h"
#include "sound/sc_wav.h"

namespace {

SCWav wav_codec;
SCBlockCodec block_codec;

} // namespace

SCCodec* const sc_codec_table[SC_CODECS] = {&wav_codec, &block_codec};

void sc_sample_clear(SCSample& s)
{
    s.next = nullptr;
    s.device_sample = nullptr;
    s.codec = nullptr;
    s.channels = 0;
    s.bytes = 0;
    s.rate = SC_DEFAULT_RATE;
    s.frames = 0;
    s.loop_start = 0;
    s.loop_end = 0;
    s.flags = 0;
    s.format = 0;
    s.data_offset = 0;
    s.codec_word[0] = 0;
    s.codec_word[1] = 0;
    s.user = nullptr;
}
