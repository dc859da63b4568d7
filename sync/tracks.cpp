// The sync player: one device holding the tracks named by the configuration,
// track files read once at start-up, and the evaluation of every track at
// the row of a show time.
#include "sync/sync.h"
#include "platform/platform.h"
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

DemoConfig* demoConfig = nullptr;
SyncDevice* syncDevice = nullptr;
SyncTrack* syncTracks[MaxTracks];
float syncRowRate = 0.0f;

enum { TrackPathSize = DataPathSize + 64, SyncBaseSize = DataPathSize };

static char* copyText(const char* text)
{
    size_t n = strlen(text) + 1;
    char* copy = (char*)malloc(n);
    if (copy) memcpy(copy, text, n);
    return copy;
}

// Returns the device, or null when it could not be made ("Rocket failed!" logged).
static SyncDevice* createDevice(void)
{
    char base[SyncBaseSize] = "sync";
    if (!dataPath(base, sizeof base)) {
        logMessage("Rocket failed!\n");
        return nullptr;
    }
    SyncDevice* device = (SyncDevice*)calloc(1, sizeof(SyncDevice));
    if (device) device->basePath = copyText(base);
    if (!device || !device->basePath) {
        free(device);
        logMessage("Rocket failed!\n");
        return nullptr;
    }
    return device;
}

// Only a second initSync (tests, tools) releases anything: the show makes one
// device and keeps it to the end.
static void releaseDevice(SyncDevice* device)
{
    if (!device) return;
    for (int i = 0; i < device->trackCount; i++) {
        free(device->tracks[i]->name);
        free(device->tracks[i]->keys);
        free(device->tracks[i]);
    }
    free(device->tracks);
    free(device->basePath);
    free(device);
}

void initSync(void)
{
    releaseDevice(syncDevice);
    for (int i = 0; i < MaxTracks; i++) syncTracks[i] = nullptr;
    syncDevice = createDevice();
    if (!demoConfig) return;   // nothing configured: no tracks
    for (int i = 0; i < MaxTracks && demoConfig->trackNames[i]; i++)
        syncTracks[i] = getTrack(demoConfig->trackNames[i]);
    if (demoConfig->rowsPerBeat == 0) demoConfig->rowsPerBeat = 4;
    if (demoConfig->bpm == 0.0f) demoConfig->bpm = 120.0f;
    long double rate = (long double)demoConfig->rowsPerBeat * demoConfig->bpm / 60 / 1000;
    syncRowRate = (float)rate;
}

float rowForTime(float seconds)
{
    long double row = (long double)seconds * syncRowRate * 1000;
    return (float)row;
}

void evaluateTracks(float time, float* values)
{
    for (int i = 0; i < MaxTracks; i++) values[i] = 0.0f;
    if (!demoConfig) return;
    float row = rowForTime(time);
    for (int i = 0; i < MaxTracks && demoConfig->trackNames[i]; i++) values[i] = trackValue(syncTracks[i], (double)row);
}

int findTrack(SyncDevice* device, const char* name)
{
    if (!device || !name) return -1;
    for (int i = 0; i < device->trackCount; i++)
        if (strcmp(device->tracks[i]->name, name) == 0) return i;
    return -1;
}

// Returns the track, or null when there is no device or memory ran out (logged).
SyncTrack* getTrack(const char* name)
{
    if (!syncDevice || !name) return nullptr;
    int index = findTrack(syncDevice, name);
    if (index >= 0) return syncDevice->tracks[index];
    SyncTrack* track = (SyncTrack*)calloc(1, sizeof(SyncTrack));
    SyncTrack** grown =
        (SyncTrack**)realloc(syncDevice->tracks, sizeof(SyncTrack*) * (size_t)(syncDevice->trackCount + 1));
    if (grown) syncDevice->tracks = grown;
    if (track) track->name = copyText(name);
    if (!track || !track->name || !grown) {
        if (track) free(track->name);
        free(track);
        logMessage("sync: out of memory for track <%s>\n", name);
        return nullptr;
    }
    syncDevice->tracks[syncDevice->trackCount++] = track;
    const char* path = trackPath(syncDevice->basePath, name);
    if (path && !readTrackFile(path, track)) logMessage("sync: no track file <%s>, the track stays empty\n", path);
    return track;
}

// One static buffer reused by every call; null (logged) when the name does not fit.
const char* trackPath(const char* base, const char* name)
{
    static char path[TrackPathSize];
    if (!base || !name) return nullptr;
    int n = snprintf(path, sizeof path, "%s_%s.track", base, name);
    if (n < 0 || n >= (int)sizeof path) {
        path[0] = 0;
        logMessage("sync: track path for <%s> is too long\n", name);
        return nullptr;
    }
    return path;
}

int findKey(const SyncTrack* track, int row)
{
    if (!track) return -1;
    int lo = 0, hi = track->keyCount;
    if (hi <= 0) return -1;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (track->keys[mid].row < row)
            lo = mid + 1;
        else if (track->keys[mid].row > row)
            hi = mid;
        else
            return mid;
    }
    return -lo - 1;
}

// Extended precision throughout; the result is rounded to float once.
float trackValue(const SyncTrack* track, double row)
{
    if (!track || track->keyCount <= 0 || !track->keys) return 0.0f;
    const SyncKey* last = &track->keys[track->keyCount - 1];
    if (!(row >= (double)INT32_MIN)) return track->keys[0].value;   // also NaN
    if (row >= (double)INT32_MAX) return last->value;
    int irow = (int)floor(row);
    int i = findKey(track, irow);
    if (i < 0) i = -i - 2;
    if (i < 0) return track->keys[0].value;
    if (i > track->keyCount - 2) return last->value;
    const SyncKey* k0 = &track->keys[i];
    const SyncKey* k1 = &track->keys[i + 1];
    long double t = ((long double)row - k0->row) / ((long double)k1->row - k0->row);
    long double a = k0->value, d = (long double)k1->value - k0->value;
    switch (k0->type) {
    case 0: return k0->value;
    case 1: return (float)(a + d * t);
    case 2: return (float)(a + d * t * t * (3 - 2 * t));
    case 3: return (float)(a + d * (long double)pow((double)t, 2.0));
    default: return 0.0f;
    }
}
