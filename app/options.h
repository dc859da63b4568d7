// The command line: what each option asks for, as one record filled by
// parseCommandLine. Every option's handler and every rule between options
// lives in app/options.cpp; the program's parts read the record.
#pragma once

enum { MaxShots = 64 };
struct ShotRequest {
    float time;
    char path[256];
};
struct RunOptions {
    int width, height;   // --mode WxH; 0 × 0 means "ask with the dialog"
    int fullscreen;      // --fullscreen
    float startTime;     // --start SEC
    int shotCount;       // --shot SEC:FILE.png (repeatable)
    ShotRequest shots[MaxShots];
    int glDebug;                     // --gl-debug
    char captureTarget[256];         // --capture DIR or FILE.mp4; empty: no capture
    int captureFps;                  // --fps N; 0 until given
    float captureFrom;               // --from SEC
    float captureTo;                 // --to SEC; 0 means "until the show ends"
    int captureSubframes;            // --subframes K; 0 until given (then 1)
    int bench;                       // --bench
    float benchSeconds;              // --seconds N; 0 means "until the show ends"
    int benchRuns;                   // --runs N; 0 until given (then 1)
    int resizeWidth, resizeHeight;   // --resize-to WxH (tests); 0: none
    int mute;                        // --mute
    char audioDevice[128];           // --audio-device NAME; empty: the default device
    int listAudioDevices;            // --list-audio-devices
    int vsyncOff;                    // --vsync off
    int loop;                        // --loop
    float avOffsetMs;                // --av-offset MS
    int edit;                        // --edit [DIR]
    char editSources[256];           // DIR of --edit, or ""
    char dataDir[1024];              // --data DIR; empty: look for it
    char logFile[1024];              // --log FILE; empty: demo.log
    int verbose;                     // --verbose: the whole log also on stderr
    int overwrite;                   // --overwrite: a capture may replace an earlier one
    int info;                        // --info: print the data directory and the show's length
    int hud;                         // --hud: the heads-up display from the start (also over bench frames)
};
extern RunOptions runOptions;

// Exit codes: 0 the show ended or the user ended it; 1 it could not do what
// was asked (no display, no data directory, a file that could not be
// written, ffmpeg); 2 a usage error; 128 + the signal's number after SIGINT
// or SIGTERM.
enum { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

// Parses argv into runOptions. Returns 1 to run, 0 when the program should end
// with exit code 0 (--help, --version), -1 on a bad option (message and usage
// already written to stderr; the caller exits with code 2). The options fit
// together when it returns 1; capture and bench then have a 1280 x 720 window
// when no --mode was given.
int parseCommandLine(int argc, char** argv);
// 1 for the runs that play no music and never read the wall clock (stills,
// capture, bench).
int isOfflineRun(void);
