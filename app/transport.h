// The transport of a windowed run: pause, steps by beat, bar or row, jumps to
// scene starts and the start, and loops; every move sets the clock and the
// music to the same instant.
#pragma once
#include "app/clock.h"

struct SyncTrack;

struct Transport {
    int paused;
    float pausedAt;           // the show time while paused (and of the latest move)
    int looping;              // 1 while [loopFrom, loopTo) repeats
    float loopFrom, loopTo;   // R sets both; [ and ] set one each
};
const Transport* transportState(void);
// The show time at tick now: held while paused; a loop's end jumps back to its start.
float transportClock(uint32_t now);
// The clock's reading for the next frame: the fixed time, else transportClock now.
ClockReading readShowClock(void);
void transportSeek(float time);   // clock and music to time, clamped into the show
void transportPause(int on);      // 1 holds picture time and music; 0 plays on from there
// Space, Left/Right (Shift: bar, Ctrl: row), Page Up/Down, Home, R, [ and ],
// moving from shownTime (the time of the frame on screen). Returns 1 when the
// key was a transport key.
int transportKey(int key, int mods, float shownTime);
int isTransportKey(int key);   // 1 for the keys transportKey acts on
// The grid point step before (direction -1) or after (+1) time, never below 0;
// a time on the grid moves a whole step.
float gridStep(float time, float step, int direction);
// Scene starts (seconds) on a scene track: keys whose scene number is a scene
// of the show and differs from the key before. Returns the count (at most capacity).
int sceneStarts(const SyncTrack* track, float rowRate, float* starts, int capacity);
// Among sorted starts: direction -1 the last start before time (the current
// scene's, or the previous one's when time is on a start), 0 the start of the
// scene at time, +1 the next start; -1 when there is none.
float sceneJump(const float* starts, int count, float time, int direction);
