// The command line: one table row per option (name, value, help, handler),
// every handler and every rule between options; the usage text is generated
// from the table. Bad input ends with exit code 2.
#include "app/options.h"
#include "app/window.h"
#include "platform/platform.h"
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

RunOptions runOptions;

static const char* programVersion = "0.1";

// A handler reads the option's value (null for flags) into runOptions and
// returns 1, or 0 when the value is malformed.
typedef int (*OptionHandler)(const char* value);

struct OptionRow {
    const char* name;        // "--mode"
    const char* valueName;   // "WxH", or null for a flag
    const char* help;
    OptionHandler handler;
};

// A value name in brackets ("[DIR]") may be left out: the next word is taken
// unless it is an option.
static int valueIsOptional(const OptionRow* row) { return row->valueName && row->valueName[0] == '['; }

// Parses a decimal integer in [low, high] that spans the whole text up to end
// (or the terminator when end is 0). Returns 1/0.
static int parseIntRange(const char* text, char end, int low, int high, int* out, const char** rest)
{
    if (*text < '0' || *text > '9') return 0;
    errno = 0;
    char* stop = nullptr;
    long value = strtol(text, &stop, 10);
    if (errno || *stop != end || value < low || value > high) return 0;
    *out = (int)value;
    if (rest) *rest = stop;
    return 1;
}

// WxH, each side 1..32767 (X11's largest window). Returns 1, or 0 when
// malformed.
static int parseSize(const char* value, int* width, int* height)
{
    const char* rest = nullptr;
    if (!parseIntRange(value, 'x', 1, 32767, width, &rest)) return 0;
    return parseIntRange(rest + 1, '\0', 1, 32767, height, nullptr);
}

// A size whose frame buffers would not fit the budget is refused here, before
// anything is allocated (the reason goes to the log and stderr).
static int optionMode(const char* value)
{
    int width, height;
    if (!parseSize(value, &width, &height) || refuseUnfitFrameSize(width, height, 0)) return 0;
    runOptions.width = width;
    runOptions.height = height;
    return 1;
}

static int optionResizeTo(const char* value)
{
    int width, height;
    if (!parseSize(value, &width, &height) || refuseUnfitFrameSize(width, height, 0)) return 0;
    runOptions.resizeWidth = width;
    runOptions.resizeHeight = height;
    return 1;
}

static int optionMute(const char*)
{
    runOptions.mute = 1;
    soundSetOutput(runOptions.audioDevice, 1);
    return 1;
}

static int optionAudioDevice(const char* value)
{
    size_t length = strlen(value);
    if (length == 0 || length >= sizeof runOptions.audioDevice) return 0;
    memcpy(runOptions.audioDevice, value, length + 1);
    soundSetOutput(runOptions.audioDevice, runOptions.mute);
    return 1;
}

static int optionListAudioDevices(const char*)
{
    runOptions.listAudioDevices = 1;
    return 1;
}

static int optionVsync(const char* value)
{
    if (strcmp(value, "on") != 0 && strcmp(value, "off") != 0) return 0;
    runOptions.vsyncOff = value[1] == 'f';
    return 1;
}

static int optionLoop(const char*)
{
    runOptions.loop = 1;
    return 1;
}

// Parses a decimal number in [low, high] that spans the whole text. Returns 1/0.
static int parseFloatRange(const char* text, float low, float high, float* out)
{
    errno = 0;
    char* stop = nullptr;
    float value = strtof(text, &stop);
    if (errno || stop == text || *stop || !(value >= low && value <= high)) return 0;
    *out = value;
    return 1;
}

// --av-offset MS: -1000..1000 ms, decimals allowed.
static int optionAvOffset(const char* value)
{
    return parseFloatRange(value, -1000.0f, 1000.0f, &runOptions.avOffsetMs);
}

static int optionFullscreen(const char*)
{
    runOptions.fullscreen = 1;
    return 1;
}

// --start SEC: seconds from 0 to one day, decimals allowed.
static int optionStart(const char* value) { return parseFloatRange(value, 0.0f, 86400.0f, &runOptions.startTime); }

static int optionGlDebug(const char*)
{
    runOptions.glDebug = 1;
    return 1;
}

// --edit [DIR]: DIR, when given, must be a folder name that fits.
static int optionEdit(const char* value)
{
    runOptions.edit = 1;
    runOptions.glDebug = 1;   // the display counts GL errors
    if (!value) return 1;
    size_t length = strlen(value);
    if (length == 0 || length >= sizeof runOptions.editSources) return 0;
    memcpy(runOptions.editSources, value, length + 1);
    return 1;
}

static int optionHud(const char*)
{
    runOptions.hud = 1;
    return 1;
}

// ---- stills, capture, bench ------------------------------------------------------
enum { MaxFps = 240, MaxSubframes = 64, MaxRuns = 100 };
static const float maxOfflineSeconds = 86400.0f;

// Returns 1 when text ends with ".png" in any letter case.
static int hasPngSuffix(const char* text, size_t length)
{
    if (length < 5) return 0;
    const char* tail = text + length - 4;
    return tail[0] == '.' && (tail[1] | 32) == 'p' && (tail[2] | 32) == 'n' && (tail[3] | 32) == 'g';
}

// --shot SEC:FILE.png adds one request. Refused: a time that is not a finite
// number >= 0, a name that is empty, too long or not ".png", or MaxShots
// requests already queued.
static int optionShot(const char* value)
{
    if (!value || runOptions.shotCount >= MaxShots) return 0;
    const char* colon = strchr(value, ':');
    if (!colon || colon == value) return 0;
    char* stop = NULL;
    double seconds = strtod(value, &stop);
    if (stop != colon || !isfinite(seconds) || seconds < 0.0 || seconds > 1.0e6) return 0;
    const char* path = colon + 1;
    size_t length = strlen(path);
    if (length >= sizeof(runOptions.shots[0].path) || !hasPngSuffix(path, length)) return 0;
    ShotRequest* shot = &runOptions.shots[runOptions.shotCount++];
    shot->time = (float)seconds;
    memcpy(shot->path, path, length + 1);
    return 1;
}

// Seconds in [low, a day]. Returns 1/0.
static int parseSeconds(const char* value, float low, float* out)
{
    errno = 0;
    char* stop = nullptr;
    float seconds = strtof(value, &stop);
    if (errno || stop == value || *stop || !(seconds >= low && seconds <= maxOfflineSeconds)) return 0;
    *out = seconds;
    return 1;
}

// A count in 1..high written with digits only. Returns 1/0.
static int parseCount(const char* value, int high, int* out)
{
    if (*value < '0' || *value > '9') return 0;
    errno = 0;
    char* stop = nullptr;
    long n = strtol(value, &stop, 10);
    if (errno || *stop || n < 1 || n > high) return 0;
    *out = (int)n;
    return 1;
}

// Copies a non-empty value that fits into field. 1 stored, 0 malformed.
static int storeText(const char* value, char* field, size_t capacity)
{
    size_t length = value ? strlen(value) : 0;
    if (length == 0 || length >= capacity) return 0;
    memcpy(field, value, length + 1);
    return 1;
}

static int optionCapture(const char* value)
{
    return storeText(value, runOptions.captureTarget, sizeof runOptions.captureTarget);
}
static int optionFps(const char* value) { return parseCount(value, MaxFps, &runOptions.captureFps); }
static int optionSubframes(const char* value) { return parseCount(value, MaxSubframes, &runOptions.captureSubframes); }
static int optionFrom(const char* value) { return parseSeconds(value, 0.0f, &runOptions.captureFrom); }
// --to 0 would be an empty interval: the end must lie after the start.
static int optionTo(const char* value) { return parseSeconds(value, 1e-6f, &runOptions.captureTo); }

static int optionOverwrite(const char*)
{
    runOptions.overwrite = 1;
    return 1;
}

static int optionBench(const char*)
{
    runOptions.bench = 1;
    return 1;
}

// --seconds N: more than 0, at most a day.
static int optionSeconds(const char* value)
{
    errno = 0;
    char* stop = nullptr;
    float seconds = strtof(value, &stop);
    if (errno || stop == value || *stop || !(seconds > 0.0f && seconds <= maxOfflineSeconds)) return 0;
    runOptions.benchSeconds = seconds;
    return 1;
}

// --runs N: 1..100 (a sign is allowed, as strtol reads it).
static int optionRuns(const char* value)
{
    errno = 0;
    char* stop = nullptr;
    long runs = strtol(value, &stop, 10);
    if (errno || stop == value || *stop || runs < 1 || runs > MaxRuns) return 0;
    runOptions.benchRuns = (int)runs;
    return 1;
}

// ---- data, log, info --------------------------------------------------------------
static int optionData(const char* value) { return storeText(value, runOptions.dataDir, sizeof runOptions.dataDir); }
static int optionLog(const char* value) { return storeText(value, runOptions.logFile, sizeof runOptions.logFile); }

static int optionVerbose(const char*)
{
    runOptions.verbose = 1;
    return 1;
}

static int optionInfo(const char*)
{
    runOptions.info = 1;
    return 1;
}

static int optionHelp(const char*) { return 1; }
static int optionVersion(const char*) { return 1; }

static const OptionRow optionTable[] = {
    {"--mode", "WxH", "skip the dialog and play at this size in a window (e.g. 1280x720)", optionMode},
    {"--fullscreen", nullptr, "full screen on the primary monitor (at --mode's size, else the desktop's)",
     optionFullscreen},
    {"--start", "SEC", "begin the show SEC seconds in (the clock and the music start there)", optionStart},
    {"--shot", "SEC:FILE.png", "after loading, write the frame at SEC seconds to FILE.png and exit (repeatable)",
     optionShot},
    {"--capture", "DIR|FILE.mp4", "render offline into DIR/frame_00000.png ... + soundtrack.wav, or an .mp4 (ffmpeg)",
     optionCapture},
    {"--fps", "N", "capture: frames per second (the clock advances exactly 1/N per frame)", optionFps},
    {"--from", "SEC", "capture: first frame's time (default 0)", optionFrom},
    {"--to", "SEC", "capture: end of the captured interval (default: the show's end)", optionTo},
    {"--subframes", "K", "capture: each frame the average of K sub-frames over its interval (default 1)",
     optionSubframes},
    {"--bench", nullptr, "render at fixed 1/30 s steps as fast as possible, print per-scene frame times, exit",
     optionBench},
    {"--seconds", "N", "bench: render N seconds of the show from --start (default: to its end)", optionSeconds},
    {"--runs", "N", "bench: render the show N times in one process, resident memory logged after each", optionRuns},
    {"--gl-debug", nullptr, "count GL errors and log each with its source; the total at the end", optionGlDebug},
    {"--mute", nullptr, "no sound output (no device is opened); the show's clock runs as usual", optionMute},
    {"--audio-device", "NAME", "play through this output device (--list-audio-devices); unknown: the default",
     optionAudioDevice},
    {"--list-audio-devices", nullptr, "print the names of the sound output devices and exit", optionListAudioDevices},
    {"--vsync", "on|off", "wait for the display's refresh at each present (default on; off for timing runs)",
     optionVsync},
    {"--loop", nullptr, "start the show again from 0 (clock and music) each time it ends", optionLoop},
    {"--av-offset", "MS", "picture this many ms later (negative: earlier) than the measured sound latency gives",
     optionAvOffset},
    {"--resize-to", "WxH", "tests: after loading, resize the window to WxH and wait until the picture follows",
     optionResizeTo},
    {"--edit", "[DIR]", "author live: heads-up display, hot reload of the data directory and of the sources in DIR",
     optionEdit},
    {"--hud", nullptr, "show the heads-up display from the start (F1 hides it); with --bench over every frame",
     optionHud},
    {"--data", "DIR", "the data directory (default: ./data, else data or ../share/kestrel/data beside the program)",
     optionData},
    {"--log", "FILE", "write the log to FILE instead of demo.log (e.g. for two instances in one folder)", optionLog},
    {"--verbose", nullptr, "echo the whole log to stderr (default: warnings, errors, start-up phases)", optionVerbose},
    {"--overwrite", nullptr, "capture: replace the frames, soundtrack.wav or .mp4 of an earlier capture",
     optionOverwrite},
    {"--info", nullptr, "print the data directory and the show's length, then exit", optionInfo},
    {"--help", nullptr, "print this help and exit", optionHelp},
    {"--version", nullptr, "print the version and exit", optionVersion},
};
static const int optionCount = (int)(sizeof(optionTable) / sizeof(optionTable[0]));

// ---- rules between options ------------------------------------------------------
// Null when the options fit together, else the complaint (e.g. "--fps needs
// --capture"). Also gives capture and bench a 1280 x 720 window when no --mode
// was given.
static const char* optionConflict(void)
{
    RunOptions* o = &runOptions;
    int capture = o->captureTarget[0] != 0;
    if (!capture && (o->captureFps || o->captureFrom > 0.0f || o->captureTo > 0.0f || o->captureSubframes))
        return "--fps, --from, --to and --subframes go with --capture";
    if (!o->bench && o->benchSeconds > 0.0f) return "--seconds goes with --bench";
    if (!o->bench && o->benchRuns) return "--runs goes with --bench";
    if (capture + o->bench + (o->shotCount > 0) > 1) return "--capture, --bench and --shot exclude each other";
    if (o->hud && (capture || o->shotCount > 0))
        return "--hud goes with a windowed run or --bench, not --shot or --capture";
    if (capture && !o->captureFps) return "--capture needs --fps N";
    if (!capture && o->overwrite) return "--overwrite goes with --capture";
    if (capture && o->startTime > 0.0f) return "--capture starts at --from, not --start";
    if (capture && o->captureTo > 0.0f && !(o->captureTo > o->captureFrom)) return "--to must lie after --from";
    if ((capture || o->bench) && o->width == 0) {
        o->width = 1280;
        o->height = 720;
    }
    return nullptr;
}

int isOfflineRun(void) { return runOptions.shotCount > 0 || runOptions.captureTarget[0] || runOptions.bench; }

static void printUsage(FILE* out)
{
    fprintf(out, "usage: kestrel [options]\n"
                 "Without options a dialog asks for the display size.\n");
    for (int i = 0; i < optionCount; i++) {
        const OptionRow* row = &optionTable[i];
        char head[64];
        snprintf(head, sizeof head, "%s%s%s", row->name, row->valueName ? " " : "",
                 row->valueName ? row->valueName : "");
        fprintf(out, "  %-26s %s\n", head, row->help);
    }
    fprintf(out, "Keys: Escape ends the show; Space pauses; Left/Right step a beat (Shift: a bar, Ctrl: a row);\n"
                 "Page Up/Down jump between scenes, Home to the start; R loops the scene, [ and ] set a loop;\n"
                 "F1 shows the heads-up display; F5 (with --edit) rebuilds the soundtrack; TAB flies the camera;\n"
                 "F11 or Alt+Enter toggles full screen.\n"
                 "Exit codes: 0 the show ended or was ended; 1 it could not do what was asked (no display,\n"
                 "no data directory, a still, capture or video that could not be written, ffmpeg missing\n"
                 "or failing); 2 a usage error (also a time at or past the show's end, see --info);\n"
                 "130/143 after SIGINT/SIGTERM.\n");
}

static const OptionRow* findOption(const char* name)
{
    for (int i = 0; i < optionCount; i++)
        if (strcmp(optionTable[i].name, name) == 0) return &optionTable[i];
    return nullptr;
}

static int badOption(const char* fmt, const char* a, const char* b)
{
    fprintf(stderr, "kestrel: ");
    fprintf(stderr, fmt, a, b);
    fputc('\n', stderr);
    printUsage(stderr);
    return -1;
}

int parseCommandLine(int argc, char** argv)
{
    memset(&runOptions, 0, sizeof runOptions);
    soundSetOutput(nullptr, 0);
    int helpWanted = 0, versionWanted = 0;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const OptionRow* row = findOption(arg);
        if (!row) return badOption("unknown option '%s'%s", arg, "");
        const char* value = nullptr;
        if (valueIsOptional(row)) {
            if (i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) value = argv[++i];
        } else if (row->valueName) {
            if (i + 1 >= argc) return badOption("%s needs a value: %s", arg, row->valueName);
            value = argv[++i];
        }
        if (!row->handler(value)) return badOption("bad value for %s: '%s'", arg, value ? value : "");
        if (row->handler == optionHelp) helpWanted = 1;
        if (row->handler == optionVersion) versionWanted = 1;
    }
    const char* problem = helpWanted || versionWanted ? nullptr : optionConflict();
    if (problem) return badOption("%s%s", problem, "");
    if (runOptions.edit && isOfflineRun())
        return badOption("%s%s", "--edit goes with a windowed run, not --shot, --capture or --bench", "");
    if (helpWanted) {
        printUsage(stdout);
        return 0;
    }
    if (versionWanted) {
        printf("kestrel %s\n", programVersion);
        return 0;
    }
    if (runOptions.listAudioDevices) {
        soundPrintDevices(stdout);
        return 0;
    }
    return 1;
}
