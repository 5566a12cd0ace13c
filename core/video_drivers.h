#pragma once
// The video-driver step of start-up. The software program links the drivers
// of soft/, the OpenGL program those of gl/.

// 1 on success, 0 on failure (after printing why).
int video_init();
void video_done();
