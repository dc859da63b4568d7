// What is settled before any window opens: the data directory (--data, ./data,
// data next to the program, the installed share/kestrel/data), the show's
// length from its scene and part tracks, requested times against that length,
// and the capture target; also --info.
#include "app/options.h"
#include "app/preflight.h"
#include "platform/platform.h"
#include "show/show.h"
#include "sync/sync.h"
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- state: what was settled ------------------------------------------------------
static double showLength = -1.0;
static char dataDirectoryText[PATH_MAX + 2];   // the resolved directory with its trailing '/'

double knownShowLength(void) { return showLength; }

static int isDirectory(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// out = text with exactly one '/' at the end. 1, or 0 when it does not fit.
static int withSlash(const char* text, char* out, size_t capacity)
{
    size_t length = strlen(text);
    while (length > 1 && text[length - 1] == '/') length--;
    if (length + 2 > capacity) return 0;
    memcpy(out, text, length);
    out[length] = '/';
    out[length + 1] = 0;
    return 1;
}

// 1 when directory holds a file of the show: its soundtrack or a track file.
// The repository's own data/ (authored shaders only) does not.
static int holdsShowData(const char* directory)
{
    char path[PATH_MAX + 80];
    struct stat info;
    if (builtinConfig.musicFile) {
        int n = snprintf(path, sizeof path, "%s/%s", directory, builtinConfig.musicFile);
        if (n > 0 && n < (int)sizeof path && stat(path, &info) == 0) return 1;
    }
    for (int i = 0; i < MaxTracks && builtinConfig.trackNames[i]; i++) {
        int n = snprintf(path, sizeof path, "%s/sync_%s.track", directory, builtinConfig.trackNames[i]);
        if (n > 0 && n < (int)sizeof path && stat(path, &info) == 0) return 1;
    }
    return 0;
}

// The directory in use, canonical unless it is the working directory's
// ./data (kept short: the data buffers hold prefix and name together).
static int useDirectory(const char* path)
{
    if (strcmp(path, "./data") == 0) return withSlash(path, dataDirectoryText, sizeof dataDirectoryText);
    char canonical[PATH_MAX];
    if (!realpath(path, canonical)) return 0;
    return withSlash(canonical, dataDirectoryText, sizeof dataDirectoryText);
}

// Resolves the data directory into dataDirectoryText: --data as given, else
// the first of ./data, data beside the program and ../share/kestrel/data
// beside it that holds the show's files, else the first of them that exists
// (its missing files are then logged one by one). 1, or 0 with one line on
// stderr naming where it looked.
static int findDataDirectory(void)
{
    const char* given = runOptions.dataDir;
    if (given[0]) {
        errno = 0;
        if (isDirectory(given) && withSlash(given, dataDirectoryText, sizeof dataDirectoryText)) return 1;
        fprintf(stderr, "kestrel: data directory %s: %s\n", given, errno ? strerror(errno) : "not a directory");
        return 0;
    }
    char folder[PATH_MAX];
    static char candidates[3][PATH_MAX + 32];
    int count = 0;
    snprintf(candidates[count++], sizeof candidates[0], "./data");
    if (programFolder(folder, sizeof folder)) {
        snprintf(candidates[count++], sizeof candidates[0], "%s/data", folder);
        snprintf(candidates[count++], sizeof candidates[0], "%s/../share/kestrel/data", folder);
    }
    for (int pass = 0; pass < 2; pass++)
        for (int i = 0; i < count; i++)
            if (isDirectory(candidates[i]) && (pass == 1 || holdsShowData(candidates[i])) &&
                useDirectory(candidates[i]))
                return 1;
    fprintf(stderr, "kestrel: no data directory: looked for %s%s%s%s%s; name one with --data DIR\n", candidates[0],
            count > 1 ? ", " : "", count > 1 ? candidates[1] : "", count > 2 ? ", " : "",
            count > 2 ? candidates[2] : "");
    return 0;
}

// The show's length from the scene and part track files of the data
// directory; -1 when either cannot be read or the tracks never end the show.
static double readShowLength(const char* directory)
{
    char base[PATH_MAX + 8];
    snprintf(base, sizeof base, "%ssync", directory);
    SyncTrack tracks[2];
    memset(tracks, 0, sizeof tracks);
    const int which[2] = {TrackScene, TrackPart};
    int missing = 0;
    for (int i = 0; i < 2; i++) {
        const char* name = builtinConfig.trackNames[which[i]];
        const char* path = name ? trackPath(base, name) : nullptr;
        if (!path || !readTrackFile(path, &tracks[i])) missing = 1;
    }
    double length =
        missing ? -1.0 : showLengthSeconds(&tracks[0], &tracks[1], builtinConfig.bpm, builtinConfig.rowsPerBeat);
    free(tracks[0].keys);
    free(tracks[1].keys);
    return length;
}

// 1 when a time option lies at or past the show's end (message written).
static int pastTheEnd(const char* option, double seconds)
{
    if (showLength < 0.0 || seconds < showLength) return 0;
    fprintf(stderr, "kestrel: %s %g lies at or past the end of the show (its length is %.3f s)\n", option, seconds,
            showLength);
    return 1;
}

int isVideoTarget(const char* path)
{
    size_t n = strlen(path);
    if (n < 5) return 0;
    const char* t = path + n - 4;
    return t[0] == '.' && (t[1] | 32) == 'm' && (t[2] | 32) == 'p' && t[3] == '4';
}

int isCaptureFileName(const char* name, int loose)
{
    if (strcmp(name, "soundtrack.wav") == 0) return 1;
    size_t length = strlen(name);
    if (strncmp(name, "frame_", 6) != 0 || length < 10 || strcmp(name + length - 4, ".png") != 0) return 0;
    if (loose) return 1;
    size_t digits = 0;
    while (name[6 + digits] >= '0' && name[6 + digits] <= '9') digits++;
    return digits >= 5 && 6 + digits == length - 4;
}

// A capture target that would mix with or replace an earlier capture (a
// folder holding frame_*.png or soundtrack.wav, an existing .mp4) is refused
// without --overwrite. Returns 1 fine, 0 with the complaint in message.
static int checkCaptureTarget(char* message, size_t capacity)
{
    const char* target = runOptions.captureTarget;
    if (runOptions.overwrite) return 1;
    struct stat info;
    if (isVideoTarget(target)) {
        if (stat(target, &info) != 0) return 1;
        snprintf(message, capacity, "%s already exists; add --overwrite to replace it", target);
        return 0;
    }
    DIR* dir = opendir(target);
    if (!dir) return 1;   // not there yet (or not a folder: opening the output says so)
    long frames = 0;
    int sound = 0;
    for (struct dirent* entry; (entry = readdir(dir)) != nullptr;) {
        if (!isCaptureFileName(entry->d_name, 1)) continue;
        if (strcmp(entry->d_name, "soundtrack.wav") == 0)
            sound = 1;
        else
            frames++;
    }
    closedir(dir);
    if (frames == 0 && !sound) return 1;
    snprintf(message, capacity,
             "%s already holds an earlier capture (%ld frame_*.png files%s); "
             "add --overwrite to replace it",
             target, frames, sound ? ", soundtrack.wav" : "");
    return 0;
}

int prepareRun(void)
{
    setLogEcho(runOptions.verbose);
    if (runOptions.logFile[0]) setLogFile(runOptions.logFile);
    if (!findDataDirectory()) return ExitFailure;
    setDataDirectory(dataDirectoryText);
    builtinConfig.dataDir = dataDirectoryText;
    showLength = readShowLength(dataDirectoryText);
    if (runOptions.info) {
        printf("data directory: %s\n", dataDirectoryText);
        if (showLength >= 0.0)
            printf("show length: %.3f s\n", showLength);
        else
            printf("show length: unknown (the scene and part tracks are missing or never end the show)\n");
        return ExitOk;
    }
    RunOptions* o = &runOptions;
    int refused = pastTheEnd("--start", o->startTime) || pastTheEnd("--from", o->captureFrom);
    for (int i = 0; i < o->shotCount && !refused; i++) refused = pastTheEnd("--shot", o->shots[i].time);
    if (refused) return ExitUsage;
    if (showLength >= 0.0 && o->captureTo > showLength) o->captureTo = (float)showLength;
    char complaint[512];
    if (o->captureTarget[0] && !checkCaptureTarget(complaint, sizeof complaint)) {
        fprintf(stderr, "kestrel: %s\n", complaint);
        return ExitUsage;
    }
    return -1;
}

void logRunSettings(void)
{
    logMessage("Data directory: %s\n", dataDirectoryText);
    if (showLength >= 0.0)
        logMessage("Show length: %.3f s\n", showLength);
    else
        logMessage("Show length: unknown\n");
}
