// The transport of a windowed run: pause, steps by beat, bar or row, jumps to
// scene starts and the start, and loops (a scene, or from/to marks). Every
// move sets the clock and moves the music to the same instant.
#include "app/preflight.h"
#include "app/transport.h"
#include "platform/platform.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GLFW/glfw3.h>
#include <math.h>
#include <stdio.h>

// ---- state: the transport ----------------------------------------------------------
static Transport transport = {0, 0.0f, 0, 0.0f, 0.0f};

const Transport* transportState(void) { return &transport; }

enum { BeatsPerBar = 4 };

static float beatSeconds(void)
{
    float bpm = demoConfig && demoConfig->bpm > 0.0f ? demoConfig->bpm : 120.0f;
    return 60.0f / bpm;
}

static float rowSeconds(void)
{
    int rows = demoConfig && demoConfig->rowsPerBeat > 0 ? demoConfig->rowsPerBeat : 4;
    return beatSeconds() / (float)rows;
}

float gridStep(float time, float step, int direction)
{
    if (!(step > 0.0f) || !isfinite(time)) return time;
    // A hair of slack, so a time on the grid (up to float rounding) counts as on it.
    double units = (double)time / step;
    double slack = 1e-3;
    double target = direction > 0 ? floor(units + slack) + 1.0 : ceil(units - slack) - 1.0;
    if (target < 0.0) target = 0.0;
    return (float)(target * step);
}

// Seconds of each scene start on the scene track (a key whose scene number
// differs from the one before it), at most capacity; returns the count.
int sceneStarts(const SyncTrack* track, float rowRate, float* starts, int capacity)
{
    if (!track || !(rowRate > 0.0f) || capacity <= 0) return 0;
    int count = 0;
    int previous = -1000000;
    for (int i = 0; i < track->keyCount && count < capacity; i++) {
        float v = track->keys[i].value;
        int scene = v > -1.0e6f && v < 1.0e6f ? (int)v : 0;
        if (scene == previous) continue;
        previous = scene;
        if (scene >= 1 && scene <= ShowSceneCount)
            starts[count++] = (float)(track->keys[i].row / ((double)rowRate * 1000.0));
    }
    return count;
}

// The start of the scene playing at time, the start before (direction -1:
// the current scene's start, or the previous scene's when time is on it) or
// after (+1) it; -1 when there is none.
float sceneJump(const float* starts, int count, float time, int direction)
{
    float found = -1.0f;
    for (int i = 0; i < count; i++) {
        if (direction < 0 && starts[i] < time - 1e-3f) found = starts[i];
        if (direction > 0 && starts[i] > time + 1e-3f) return starts[i];
        if (direction == 0 && starts[i] <= time + 1e-3f) found = starts[i];
    }
    return found;
}

static int currentSceneStarts(float* starts, int capacity)
{
    return sceneStarts(syncTracks[TrackScene], syncRowRate, starts, capacity);
}

// The show's length when the tracks gave it, else the scene track's last key.
static float showEndTime(void)
{
    double length = knownShowLength();
    if (length >= 0.0) return (float)length;
    const SyncTrack* track = syncTracks[TrackScene];
    if (!track || track->keyCount <= 0 || !(syncRowRate > 0.0f)) return 1.0e6f;
    return (float)(track->keys[track->keyCount - 1].row / ((double)syncRowRate * 1000.0));
}

void transportSeek(float time)
{
    float end = showEndTime();
    if (!(time >= 0.0f)) time = 0.0f;
    if (time >= end) time = end > 0.001f ? end - 0.001f : 0.0f;
    float delay = pictureDelaySeconds();
    setShowClockAt(time);
    transport.pausedAt = time;
    seekMusic(time + delay);
}

void transportPause(int on)
{
    if (on == transport.paused) return;
    if (on) {
        // The music is put at the picture's instant and held there: both
        // stand at the same time, and play on from it.
        float delay = pictureDelaySeconds();
        transport.pausedAt = runningShowSeconds(tickCount());
        holdMusic(1);
        seekMusic(transport.pausedAt + delay);
    } else {
        float delay = pictureDelaySeconds();
        setShowClockAt(transport.pausedAt);
        seekMusic(transport.pausedAt + delay);   // the music plays on from the paused instant
        holdMusic(0);
    }
    transport.paused = on;
}

float transportClock(uint32_t now)
{
    float time = transport.paused ? transport.pausedAt : runningShowSeconds(now);
    if (transport.looping && transport.loopTo > transport.loopFrom && time >= transport.loopTo) {
        transportSeek(transport.loopFrom);
        time = transport.loopFrom;
    }
    return time;
}

ClockReading readShowClock(void)
{
    float time = 0.0f;
    if (!showClockFixed(&time)) time = transportClock(tickCount());
    return clockReadingAt(time);
}

// The time a move starts from: the paused instant, else the frame on screen.
static float moveFrom(float shownTime) { return transport.paused ? transport.pausedAt : shownTime; }

// R: loop the scene playing now; again: loop off.
static void toggleSceneLoop(float shownTime)
{
    if (transport.looping) {
        transport.looping = 0;
        return;
    }
    float starts[64];
    int count = currentSceneStarts(starts, 64);
    float t = moveFrom(shownTime);
    float from = sceneJump(starts, count, t, 0);
    float to = sceneJump(starts, count, t, 1);
    if (from < 0.0f) from = 0.0f;
    if (to < 0.0f) to = showEndTime();
    transport.loopFrom = from;
    transport.loopTo = to;
    transport.looping = to > from;
}

static void setMark(int which, float shownTime)
{
    float t = moveFrom(shownTime);
    if (which == 0)
        transport.loopFrom = t;
    else
        transport.loopTo = t;
    transport.looping = transport.loopTo > transport.loopFrom;
}

static int applyTransportKey(int key, int mods, float shownTime);

// Every move goes to the log with the music's own position, so a run can be
// checked afterwards.
int transportKey(int key, int mods, float shownTime)
{
    if (!applyTransportKey(key, mods, shownTime)) return 0;
    // The music's instant as heard: its cursor less the output delay.
    float music = musicPosition();
    if (music >= 0.0f) music -= pictureDelaySeconds();
    logMessage("transport: %s at %.3f s, music at %.3f s%s\n", transport.paused ? "paused" : "playing",
               (double)(transport.paused ? transport.pausedAt : transportClock(tickCount())), (double)music,
               transport.looping ? ", looping" : "");
    return 1;
}

static int applyTransportKey(int key, int mods, float shownTime)
{
    float t = moveFrom(shownTime);
    float starts[64];
    switch (key) {
    case GLFW_KEY_SPACE: transportPause(!transport.paused); return 1;
    case GLFW_KEY_LEFT:
    case GLFW_KEY_RIGHT: {
        float step = beatSeconds();
        if (mods & GLFW_MOD_SHIFT) step *= (float)BeatsPerBar;
        if (mods & GLFW_MOD_CONTROL) step = rowSeconds();
        transportSeek(gridStep(t, step, key == GLFW_KEY_RIGHT ? 1 : -1));
        return 1;
    }
    case GLFW_KEY_PAGE_UP:
    case GLFW_KEY_PAGE_DOWN: {
        int count = currentSceneStarts(starts, 64);
        float to = sceneJump(starts, count, t, key == GLFW_KEY_PAGE_DOWN ? 1 : -1);
        if (to >= 0.0f) transportSeek(to);
        return 1;
    }
    case GLFW_KEY_HOME: transportSeek(0.0f); return 1;
    case GLFW_KEY_R: toggleSceneLoop(shownTime); return 1;
    case GLFW_KEY_LEFT_BRACKET: setMark(0, shownTime); return 1;
    case GLFW_KEY_RIGHT_BRACKET: setMark(1, shownTime); return 1;
    default: return 0;
    }
}

int isTransportKey(int key)
{
    switch (key) {
    case GLFW_KEY_SPACE:
    case GLFW_KEY_LEFT:
    case GLFW_KEY_RIGHT:
    case GLFW_KEY_PAGE_UP:
    case GLFW_KEY_PAGE_DOWN:
    case GLFW_KEY_HOME:
    case GLFW_KEY_R:
    case GLFW_KEY_LEFT_BRACKET:
    case GLFW_KEY_RIGHT_BRACKET: return 1;
    default: return 0;
    }
}
