// The sound layer of the browser build: the engine's sound API on Web Audio.
// The page decodes every soundtrack of the data package before the program
// starts (web/sound.js: decodeAudioData is asynchronous), so opening a
// stream only finds its decoded buffer; positions come from the audio
// context's clock, or from the page's clock when muted. Tracker modules are
// not played in the browser (no libopenmpt there): loading one fails, logged.
#include "platform/platform.h"
#include <emscripten.h>
#include <stdlib.h>
#include <string.h>
#include <new>

// clang-format off
EM_JS(int, webSoundStart, (int muted), { return Module.kestrelSound.start(muted); });
EM_JS(int, webSoundFind, (const char* path), { return Module.kestrelSound.find(UTF8ToString(path)); });
EM_JS(double, webSoundLengthMs, (int id), { return Module.kestrelSound.lengthMs(id); });
EM_JS(int, webSoundPlay, (int id, double startMs), { return Module.kestrelSound.play(id, startMs); });
EM_JS(double, webSoundTimeMs, (int id), { return Module.kestrelSound.timeMs(id); });
EM_JS(void, webSoundHold, (int held), { Module.kestrelSound.hold(held); });
EM_JS(void, webSoundStop, (int id), { Module.kestrelSound.stop(id); });
EM_JS(double, webSoundLatency, (void), { return Module.kestrelSound.latency(); });
// clang-format on

// ---- state: the output ---------------------------------------------------------------
// Whether the output was started and muted, and the streams not yet closed.
static int outputReady;
static int muted;
static int liveObjects;

struct SoundStream {
    int id;   // the page's index of the decoded buffer
};

void soundSetOutput(const char*, int mute) { muted = mute ? 1 : 0; }

int soundInit(int mixRate)
{
    if (outputReady) return 1;
    if (mixRate != 44100) return 0;
    outputReady = webSoundStart(muted);
    if (muted) logMessage("sound: muted, the page's clock drives the show\n");
    return outputReady;
}

void soundShutdown(void) { outputReady = 0; }

int soundPrintDevices(FILE* out)
{
    fprintf(out, "default\n");
    return 1;
}

float soundOutputLatency(void) { return outputReady && !muted ? (float)webSoundLatency() : 0.0f; }

int soundLiveObjects(void) { return liveObjects; }

int soundHold(int held)
{
    webSoundHold(held ? 1 : 0);
    return 1;
}

// Returns the stream, or null when the page holds no decoded buffer of that
// name (logged): it was missing from the package or did not decode.
SoundStream* soundStreamOpen(const char* path)
{
    if (!path) return nullptr;
    int id = webSoundFind(path);
    if (id < 0) {
        logMessage("sound: %s was not decoded by the page\n", path);
        return nullptr;
    }
    SoundStream* s = new (std::nothrow) SoundStream();
    if (!s) return nullptr;
    s->id = id;
    liveObjects++;
    return s;
}

size_t soundDecodeStream(const char* path, float** frames)
{
    if (frames) *frames = nullptr;
    logMessage("sound: %s: decoding to samples is not part of the browser build\n", path ? path : "(null)");
    return 0;
}

int soundStreamPlay(SoundStream* stream, uint32_t startMs)
{
    if (!stream || !outputReady) return 0;
    return webSoundPlay(stream->id, (double)startMs);
}

int soundStreamTime(SoundStream* stream) { return stream ? (int)webSoundTimeMs(stream->id) : 0; }

int soundStreamLength(SoundStream* stream) { return stream ? (int)webSoundLengthMs(stream->id) : 0; }

int soundStreamClose(SoundStream* stream)
{
    if (!stream) return 0;
    webSoundStop(stream->id);
    delete stream;
    liveObjects--;
    return 1;
}

SoundModule* soundModuleLoad(const char* path)
{
    logMessage("sound: %s: tracker modules do not play in the browser build\n", path ? path : "(null)");
    return nullptr;
}
int soundModuleSetZxxCallback(SoundModule*, SoundZxxCallback) { return 0; }
int soundModulePlay(SoundModule*, uint32_t) { return 0; }
int soundModuleFree(SoundModule*) { return 0; }
int soundModuleTime(SoundModule*) { return 0; }
int soundModuleOrder(SoundModule*) { return -1; }
int soundModulePattern(SoundModule*) { return -1; }
int soundModuleRow(SoundModule*) { return -1; }
