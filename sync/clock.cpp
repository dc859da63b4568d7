// The show clock: the time, its step and whether the last frame was shown,
// written by the loop (or an offline renderer) before the frame is drawn and
// read by the sync player and the scenes.
#include "sync/sync.h"

float frameTime;
float frameDelta = -1.0f;
int framePresented;
