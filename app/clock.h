// The show clock: the time of a windowed run follows the wall clock from a
// start tick, behind it by the picture's delay; offline runs (stills,
// capture, bench) and tests fix it instead. Each reading remembers its time,
// so the next one knows its step.
#pragma once
#include <stdint.h>

// One reading: the show time and its step since the reading before.
struct ClockReading {
    float time;
    float delta;
};
// The show time at tick now (never below 0), not counting pause or loop.
float runningShowSeconds(uint32_t now);
// Puts time zero so that the running time is seconds now, without the
// picture's delay: at start-up (the first reading steps from 0) and for
// --loop (the next reading steps from seconds).
void startShowClock(float seconds);
void restartShowClock(float seconds);
// Puts time zero so that the running time is seconds now, the picture's
// delay included (the transport's moves).
void setShowClockAt(float seconds);
// Fixes the time at seconds (on 1) or lets it run (on 0).
void fixShowClock(int on, float seconds);
// 1 with *seconds the fixed time while the clock is fixed, else 0.
int showClockFixed(float* seconds);
// A reading at time: its step from the previous reading's time.
ClockReading clockReadingAt(float time);
// How far the picture runs behind the wall clock: the sound's output latency
// plus --av-offset. The music's cursor runs this much ahead of the show time.
float pictureDelaySeconds(void);
