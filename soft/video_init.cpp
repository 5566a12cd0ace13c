#include "core/video_drivers.h"

int video_init() { return 1; }

void video_done() {}
