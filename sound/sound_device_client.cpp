#include "sound/sound_device_client.h"

int SoundDeviceClient::read_sample_data(SDSample*, void*) { return 0; }

int32_t SoundDeviceClient::fill_stream(void* const*, int32_t, int32_t) { return -1; }

void SoundDeviceClient::timer_tick() {}
