// Authoring while the show plays (--edit [DIR]): the data directory in use and
// the folder of authored sources are watched; a changed shader, texture, mesh,
// timeline, track file or soundtrack takes over between two frames when it
// loads whole, and the old one stays when it does not. F5 rebuilds the
// soundtrack from the timeline in the background.
#include "app/hud.h"
#include "app/live.h"
#include "app/transport.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "show/show.h"
#include "sync/sync.h"
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// ---- state: the edit session ----------------------------------------------------------
enum { MaxEventsPerFrame = 16, PathSize = 1024, MaxRetries = 20 };
static const double settleSeconds = 0.05;   // quiet time after the last write before a reload
static int liveOn;
static int dataFolder = -1, sourceFolder = -1;
static char dataDir[PathSize];           // the data directory in use, without the trailing '/'
static char sourceDir[PathSize];         // --edit DIR, or ""
static char copiedName[WatchNameSize];   // a source copied into the data directory just now
static double copiedAt = -1.0;
static pid_t soundtrackBuild = -1;   // the running F5 build, or -1
static char soundtrackTemp[PathSize + 2 * WatchNameSize];
// Files caught half-written are tried again, each at most MaxRetries times in a row.
struct RetryCount {
    char name[WatchNameSize];
    int count;
};
static RetryCount retryCounts[MaxEventsPerFrame];
static double changeWrittenAt;   // when the file being applied was last written

int liveEditing(void) { return liveOn; }

static int endsWith(const char* text, const char* tail)
{
    size_t n = strlen(text), m = strlen(tail);
    return n >= m && strcmp(text + n - m, tail) == 0;
}

// Copies a file through a temporary name and a rename, so a reader never sees
// it half-written. Returns 1, 0 (errno kept).
static int copyFileAtomically(const char* from, const char* to)
{
    unsigned char* bytes = nullptr;
    size_t size = 0;
    if (readWholeFile(from, 256u << 20, &bytes, &size) != 1) return 0;
    char temp[PathSize + WatchNameSize + 16];
    snprintf(temp, sizeof temp, "%s.part", to);
    FILE* file = fopen(temp, "wb");
    int ok = file && fwrite(bytes, 1, size, file) == size;
    if (file && fclose(file) != 0) ok = 0;
    free(bytes);
    if (ok && rename(temp, to) != 0) ok = 0;
    if (!ok) remove(temp);
    return ok;
}

// Starts watching. Returns 1 when at least the data directory is watched.
int startLiveEdit(const char* sources)
{
    snprintf(dataDir, sizeof dataDir, "%s", dataDirectoryInUse());
    size_t n = strlen(dataDir);
    while (n > 1 && dataDir[n - 1] == '/') dataDir[--n] = 0;
    snprintf(sourceDir, sizeof sourceDir, "%s", sources ? sources : "");
    if (!watchStart()) return 0;
    dataFolder = watchFolder(dataDir[0] ? dataDir : ".");
    if (sourceDir[0]) sourceFolder = watchFolder(sourceDir);
    liveOn = dataFolder >= 0;
    logMessage("edit: watching %s%s%s\n", dataDir, sourceDir[0] ? " and " : "", sourceDir);
    hudMessagef("watching %s%s%s", dataDir, sourceDir[0] ? " and " : "", sourceDir);
    return liveOn;
}

// Milliseconds from the file's last write to now, for the log.
static double sinceWrite(void) { return (monotonicSeconds() - changeWrittenAt) * 1000.0; }

// The new tracks' values are logged at the time of frame.
static void reloadTimeline(const char* path, const ShowFrame* frame)
{
    char error[512];
    if (loadTimelineTracks(path, error, sizeof error)) {
        ShowFrame now = showFrameAt(frame->time, frame->delta, frame->grainMovesOn);
        const float* v = now.tracks;
        logMessage("edit: timeline <%s> compiled, new tracks from %.3f s (%.0f ms after the write): "
                   "scene %g part %g var0 %g var1 %g post1 %g post2 %g\n",
                   path, (double)now.time, sinceWrite(), (double)v[TrackScene], (double)v[TrackPart],
                   (double)v[TrackVar0], (double)v[TrackVar1], (double)v[TrackPost1], (double)v[TrackPost2]);
        hudMessagef("timeline: new tracks (F5 rebuilds the music)");
    } else {
        logMessage("edit: timeline kept: %s\n", error);
        hudMessagef("timeline kept: %s", error);
    }
}

// Returns 0 when the file should be tried again (not whole yet).
static int reloadTrack(const char* name, const char* path)
{
    char track[64];
    size_t n = strlen(name);   // "sync_<track>.track"
    if (n <= 11 || n - 11 >= sizeof track) return 1;
    memcpy(track, name + 5, n - 11);
    track[n - 11] = 0;
    int result = reloadTrackFile(path, track);
    if (result < 0) return 0;
    if (result == 1) hudMessagef("track %s reloaded", track);
    logMessage("edit: track <%s> %s (%.0f ms after the write)\n", path,
               result == 1 ? "reloaded" : "is not a track of the show", sinceWrite());
    return 1;
}

static void reloadResource(const char* name)
{
    ReloadResult result;
    int rows = reloadResourceFile(activeResourceTable, name, &result);
    if (rows == 0) return;
    for (int i = 0; i < result.meshCount; i++) processShowMesh(result.meshes[i]);
    int shader = endsWith(name, ".vs") || endsWith(name, ".fs");
    if (shader) bindNewShowPostPrograms(result.programs, result.programCount);
    if (result.failed == 0) {
        logMessage("edit: <%s> reloaded (%d rows, %.0f ms after the write)\n", name, rows, sinceWrite());
        hudMessagef("%s reloaded (%d rows)", name, rows);
    } else if (shader) {
        logMessage("edit: <%s> kept the old program: %s\n", name, lastShaderReport());
        hudMessagef("%s kept the old program: %s", name, lastShaderReport());
    } else {
        logMessage("edit: <%s> could not be loaded, the old one stays\n", name);
        hudMessagef("%s could not be loaded, the old one stays", name);
    }
}

static void reloadSoundtrack(const ShowFrame* frame)
{
    int held = transportState()->paused;
    startSoundtrack(frame->time);
    if (held) holdMusic(1);
    hudMessagef("soundtrack reloaded at %.3f s", (double)frame->time);
}

// One changed file of the data directory. Returns 0 to try it again later.
static int applyDataChange(const char* name, const ShowFrame* frame)
{
    char path[PathSize + WatchNameSize + 2];
    snprintf(path, sizeof path, "%s/%s", dataDir, name);
    const ShowVocabulary* words = demoConfig ? demoConfig->vocabulary : nullptr;
    if (words && words->timelineFile && strcmp(name, words->timelineFile) == 0) {
        reloadTimeline(path, frame);
        return 1;
    }
    if (strncmp(name, "sync_", 5) == 0 && endsWith(name, ".track")) return reloadTrack(name, path);
    if (demoConfig && demoConfig->musicFile && strcmp(name, demoConfig->musicFile) == 0) {
        reloadSoundtrack(frame);
        return 1;
    }
    reloadResource(name);
    return 1;
}

// A changed authored source: copied into the data directory (which the
// program reads), then applied. Returns 0 to try again later.
static int applySourceChange(const char* name, const ShowFrame* frame)
{
    if (endsWith(name, ".part")) return 1;
    char from[PathSize + WatchNameSize + 2], to[PathSize + WatchNameSize + 2];
    snprintf(from, sizeof from, "%s/%s", sourceDir, name);
    snprintf(to, sizeof to, "%s/%s", dataDir, name);
    if (!copyFileAtomically(from, to)) {
        logMessage("edit: could not copy <%s> to <%s>: %s\n", from, to, strerror(errno));
        return 1;
    }
    snprintf(copiedName, sizeof copiedName, "%s", name);
    copiedAt = monotonicSeconds();
    return applyDataChange(name, frame);
}

// Checks the F5 build; when it is done, its file takes the soundtrack's place.
static void finishSoundtrackBuild(void)
{
    if (soundtrackBuild <= 0) return;
    int done = waitProgram(soundtrackBuild, 0);
    if (done < 0) return;
    soundtrackBuild = -1;
    char target[PathSize + 64];
    snprintf(target, sizeof target, "%s/%s", dataDir, demoConfig && demoConfig->musicFile ? demoConfig->musicFile : "");
    if (done == 0 || rename(soundtrackTemp, target) != 0) {
        remove(soundtrackTemp);
        logMessage("edit: the soundtrack build failed\n");
        hudMessagef("soundtrack build failed");
        return;
    }
    logMessage("edit: soundtrack rebuilt\n");   // the watcher sees the rename and reloads it
}

// F5: the soundtrack synthesizer (next to this program) renders the timeline
// in the background. Returns 1 started.
int startSoundtrackBuild(void)
{
    if (!liveOn || soundtrackBuild > 0 || !demoConfig || !demoConfig->musicFile) return 0;
    char folder[PathSize], tool[PathSize + 16], timeline[PathSize + 16];
    if (!programFolder(folder, sizeof folder)) return 0;
    snprintf(tool, sizeof tool, "%s/soundtrack", folder);
    snprintf(timeline, sizeof timeline, "%s/timeline.txt", sourceDir[0] ? sourceDir : dataDir);
    snprintf(soundtrackTemp, sizeof soundtrackTemp, "%s/.%s.building.mp3", dataDir, demoConfig->musicFile);
    char* const args[] = {tool, (char*)"build", timeline, soundtrackTemp, nullptr};
    pid_t pid = spawnProgram(args, nullptr, 1);
    if (pid <= 0) {
        int reason = errno;
        hudMessagef("soundtrack tool not found: %s", tool);
        logMessage("edit: could not start %s: %s\n", tool, strerror(reason));
        return 0;
    }
    soundtrackBuild = pid;
    hudMessagef("rebuilding the soundtrack ...");
    logMessage("edit: rebuilding the soundtrack from %s\n", timeline);
    return 1;
}

// Returns 1 while the file may be tried again.
static int countRetry(const char* name)
{
    RetryCount* free = nullptr;
    for (RetryCount& r : retryCounts) {
        if (strcmp(r.name, name) == 0) return ++r.count <= MaxRetries;
        if (!r.name[0] && !free) free = &r;
    }
    if (!free) return 0;
    snprintf(free->name, sizeof free->name, "%s", name);
    free->count = 1;
    return 1;
}

static void forgetRetries(const char* name)
{
    for (RetryCount& r : retryCounts)
        if (strcmp(r.name, name) == 0) r.name[0] = 0;
}

// Once a frame: every file that changed and settled is applied.
void pollLiveEdit(const ShowFrame* frame)
{
    if (!liveOn) return;
    finishSoundtrackBuild();
    double now = monotonicSeconds();
    WatchEvent events[MaxEventsPerFrame];
    int count = watchPoll(now, settleSeconds, events, MaxEventsPerFrame);
    for (int i = 0; i < count; i++) {
        const WatchEvent* e = &events[i];
        if (e->name[0] == '.' || endsWith(e->name, ".part")) continue;
        changeWrittenAt = e->changedAt;
        int done;
        if (e->folder == sourceFolder) {
            done = applySourceChange(e->name, frame);
        } else {
            // Our own copy arriving in the data directory was applied already.
            if (strcmp(e->name, copiedName) == 0 && now - copiedAt < 2.0) continue;
            done = applyDataChange(e->name, frame);
        }
        if (!done && countRetry(e->name)) watchRetry(e, now);
        if (done) forgetRetries(e->name);
    }
    // A reload's decoding and shader compiling leave free blocks all over the
    // heap, which keeps its free memory: give those pages back now, so a long
    // edit session holds only what the show uses.
    if (count > 0) giveBackFreeMemory();
}

void stopLiveEdit(void)
{
    if (soundtrackBuild > 0) {
        kill(soundtrackBuild, SIGTERM);
        waitProgram(soundtrackBuild, 1);
        remove(soundtrackTemp);
        soundtrackBuild = -1;
    }
    watchStop();
    liveOn = 0;
}
