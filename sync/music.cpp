// Soundtrack playback on top of the sound layer: one stream (".mp3", ".ogg")
// or one module (anything else) at a time, and the ring of the first ten Zxx
// effect events a module plays.
#include "sync/sync.h"
#include "platform/platform.h"
#include <atomic>
#include <math.h>
#include <string.h>

int soundReady = 0;
SoundModule* currentSong = nullptr;
SoundStream* currentStream = nullptr;

enum { ZxxRingSize = 10 };
static ZxxEvent zxxRing[ZxxRingSize];
static int zxxWrite = 0;
// Written by the audio thread only; the release store publishes the event
// before the count that makes it visible to readers.
static std::atomic<int> zxxCount{0};
static ZxxEvent lastZxx;

static uint32_t startMilliseconds(float seconds)
{
    if (!(seconds > 0.0f)) return 0;             // also NaN
    if (seconds >= 4.0e6f) return 4000000000u;   // far past any soundtrack's end
    return (uint32_t)lroundf(seconds * 1000.0f);
}

// 1 playback started, 0 otherwise (nothing logged; the show runs silent and
// whatever was opened is released).
int startMusic(const char* path, float startSeconds)
{
    if (!soundReady) {
        if (!soundInit(44100)) return 0;
        soundReady = 1;
    }
    stopMusic();
    uint32_t startMs = startMilliseconds(startSeconds);
    int started;
    if (isStreamFile(path)) {
        currentStream = soundStreamOpen(path);
        if (!currentStream) return 0;
        started = soundStreamPlay(currentStream, startMs);
    } else {
        currentSong = soundModuleLoad(path);
        if (!currentSong) return 0;
        int hooked = soundModuleSetZxxCallback(currentSong, onZxx);
        int playing = soundModulePlay(currentSong, startMs);
        started = hooked && playing;
    }
    if (!started) {
        stopMusic();
        return 0;
    }
    return 1;
}

int startSoundtrack(float startSeconds)
{
    const char* name = demoConfig ? demoConfig->musicFile : nullptr;
    if (!name) return 0;
    char path[DataPathSize];
    size_t length = strlen(name);
    if (length >= sizeof path) {
        logMessage("music: <%s> does not fit in %d bytes, refused\n", name, (int)sizeof path);
        return 0;
    }
    memcpy(path, name, length + 1);
    if (!dataPath(path, sizeof path)) return 0;   // refused and logged there
    if (startMusic(path, startSeconds)) {
        logMessage("music: <%s> playing from %.3f s\n", path, (double)startSeconds);
        return 1;
    }
    logMessage("music: <%s> could not be played, the show runs silent\n", path);
    return 0;
}

// Releases the module and the stream, whichever exists. Returns the result of
// the last release, 1 when there was nothing to release.
int stopMusic(void)
{
    int result = 1;
    if (currentSong) {
        result = soundModuleFree(currentSong);
        currentSong = nullptr;
    }
    if (currentStream) {
        result = soundStreamClose(currentStream);
        currentStream = nullptr;
    }
    return result;
}

int isStreamFile(const char* path)
{
    if (!path) return 0;
    const char* dot = strrchr(path, '.');
    const char* ext = dot ? dot : path;
    static const char* const streams[] = {".mp3", ".MP3", ".ogg", ".OGG"};
    for (const char* s : streams)
        if (strcmp(ext, s) == 0) return 1;
    return 0;
}

// Runs on the audio thread; touches only the Zxx ring.
void onZxx(SoundModule* module, unsigned char parameter)
{
    ZxxEvent event = lastZxx;
    event.parameter = parameter;
    if (module) {
        event.time = soundModuleTime(module);
        event.order = soundModuleOrder(module);
        event.pattern = soundModulePattern(module);
        event.row = soundModuleRow(module);
    }
    lastZxx = event;
    pushZxxEvent(&event);
}

// 1 stored, 0 when the ring already holds ten events (the event is dropped).
int pushZxxEvent(const ZxxEvent* event)
{
    int count = zxxCount.load(std::memory_order_relaxed);
    if (!event || count >= ZxxRingSize) return 0;
    zxxRing[zxxWrite] = *event;
    zxxWrite = (zxxWrite + 1) % ZxxRingSize;
    zxxCount.store(count + 1, std::memory_order_release);
    return 1;
}

int zxxEventCount(void) { return zxxCount.load(std::memory_order_acquire); }

// The index-th stored event (0 the first), or null.
const ZxxEvent* zxxEventAt(int index)
{
    if (index < 0 || index >= zxxEventCount()) return nullptr;
    return &zxxRing[index];
}

// Moves the playing soundtrack to seconds (streams and modules alike).
// Returns 1 moved, 0 when nothing plays.
int seekMusic(float seconds)
{
    uint32_t ms = startMilliseconds(seconds);
    if (currentStream) return soundStreamPlay(currentStream, ms);
    if (currentSong) return soundModulePlay(currentSong, ms);
    return 0;
}

int holdMusic(int held) { return soundReady ? soundHold(held) : 0; }

// The playing soundtrack's position in seconds; -1 when nothing plays.
float musicPosition(void)
{
    if (currentStream) return (float)soundStreamTime(currentStream) / 1000.0f;
    if (currentSong) return (float)soundModuleTime(currentSong) / 1000.0f;
    return -1.0f;
}
