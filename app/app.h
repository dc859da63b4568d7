// The program: entry, command line, start-up, main loop, shutdown, frame
// presentation, the window set-up, the loading screen, the keyboard (tweak
// camera), stills, capture and bench. Everything here runs on the main thread.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct GLFWwindow;

// ---- the loop's clock ---------------------------------------------------------
// pollFrame sets the show clock (sync.h: frameTime, frameDelta,
// framePresented) from the tick count against startTick.
extern uint32_t startTick;     // tick count at time zero of the show

// Offline clock: while useFixedClock is 1, pollFrame takes frameTime from
// fixedClockTime instead of the tick counter (stills, capture, bench).
extern int useFixedClock;
extern float fixedClockTime;

// ---- command line ------------------------------------------------------------
enum { MaxShots = 64 };
struct ShotRequest {
    float time;
    char path[256];
};
struct RunOptions {
    int width, height;       // --mode WxH; 0 × 0 means "ask with the dialog"
    int fullscreen;          // --fullscreen
    float startTime;         // --start SEC
    int shotCount;           // --shot SEC:FILE.png (repeatable)
    ShotRequest shots[MaxShots];
    int glDebug;             // --gl-debug
    char captureTarget[256]; // --capture DIR or FILE.mp4; empty: no capture
    int captureFps;          // --fps N; 0 until given
    float captureFrom;       // --from SEC
    float captureTo;         // --to SEC; 0 means "until the show ends"
    int captureSubframes;    // --subframes K; 0 until given (then 1)
    int bench;               // --bench
    float benchSeconds;      // --seconds N; 0 means "until the show ends"
    int benchRuns;           // --runs N; 0 until given (then 1)
    char dataDir[1024];      // --data DIR; empty: look for it
    char logFile[1024];      // --log FILE; empty: demo.log
    int verbose;             // --verbose: the whole log also on stderr
    int overwrite;           // --overwrite: a capture may replace an earlier one
    int info;                // --info: print the data directory and the show's length
};
extern RunOptions runOptions;

// Parses argv into runOptions. Returns 1 to run, 0 when the program should end
// with exit code 0 (--help, --version), -1 on a bad option (message and usage
// already written to stderr; the caller exits with code 2).
int parseCommandLine(int argc, char** argv);

// ---- exit codes ----------------------------------------------------------------
// 0 the show ended or the user ended it; 1 it could not do what was asked (no
// display, no data directory, a file that could not be written, ffmpeg); 2 a
// usage error; 128 + the signal's number after SIGINT or SIGTERM.
enum { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

// ---- before the window -----------------------------------------------------------
// The show's length in seconds from its tracks, read by prepareRun; -1 unknown.
extern double showLength;
// After parsing, before any window: sets the log's file and echo, resolves
// the data directory (the configuration's dataDir then names it), reads the
// show's length, refuses times at or past the end, clamps --to, checks the
// capture target and answers --info. Returns -1 to go on, else the exit code
// (the message already on stderr).
int prepareRun(void);
// The resolved data directory and the show's length into the log.
void logRunSettings(void);
// Option handlers: --data DIR, --log FILE, --verbose, --info, --overwrite.
int parseDataOption(const char* value);
int parseLogOption(const char* value);
int parseVerboseOption(const char* value);
int parseInfoOption(const char* value);
int parseOverwriteOption(const char* value);

// ---- stop signals ------------------------------------------------------------------
// SIGINT and SIGTERM set a flag (no SA_RESTART) that ends the show where
// Escape does: the frame finishes and everything is released. 1 installed.
int installStopSignals(void);
int stopSignalNumber(void);   // the signal that asked to stop, 0 none

// ---- stills ------------------------------------------------------------------
// Adds one "SEC:FILE.png" to runOptions.shots. Returns 1, or 0 when malformed
// (time not finite or negative, name empty, too long or not ".png", list full).
int parseShotOption(const char* value);
// Renders each requested still with the clock fixed at its time and writes it
// as PNG. Returns the number of stills that could not be written (logged).
int renderStills(void);

// ---- capture and bench ---------------------------------------------------------
// Option handlers for the table of the command line: 1 stored, 0 malformed.
int parseCaptureOption(const char* value);      // --capture DIR|FILE.mp4
int parseFpsOption(const char* value);          // --fps N, 1..240
int parseFromOption(const char* value);         // --from SEC
int parseToOption(const char* value);           // --to SEC
int parseSubframesOption(const char* value);    // --subframes K, 1..64
int parseBenchOption(const char* value);        // --bench
int parseSecondsOption(const char* value);      // --seconds N
int parseRunsOption(const char* value);         // --runs N, 1..100
// After parsing: null when the offline options fit together, else the
// complaint (e.g. "--fps needs --capture"). Also gives capture and bench a
// 1280 x 720 window when no --mode was given.
const char* checkOfflineOptions(void);
// 1 for the runs that play no music and never read the wall clock (stills,
// capture, bench).
int isOfflineRun(void);
// A capture target that would mix with or replace an earlier capture (a
// folder holding frame_*.png or soundtrack.wav, an existing .mp4) is refused
// without --overwrite. Returns 1 fine, 0 with the complaint in message.
int checkCaptureTarget(char* message, size_t capacity);
// Renders [from, to) at the fixed rate into PNG files + soundtrack.wav or an
// .mp4 through ffmpeg. Returns 1 when every frame and the sound were written.
int runCapture(void);
// Renders the show at fixed 1/30 s steps without presenting and prints the
// per-scene frame times. Returns 1 (0 when nothing could be rendered).
int runBench(void);

// ---- start-up timing and memory ----------------------------------------------------
// Logs one start-up phase: its duration since the previous mark (or since
// beginPhases) and the peak resident memory so far.
void beginPhases(void);
void markPhase(const char* name);
// Counts the frames of the main loop; logs the end-of-run summary line.
void countLoopFrame(int presented);
void logRunSummary(void);

// ---- start-up, loop, shutdown ------------------------------------------------
int startDemo(void);        // 1 on success, 0 when the window could not be made, -1 dialog cancelled
int pollFrame(void);        // one poll step; non-zero means stop
int presentFrame(void);     // accumulate the frame just drawn; 1 if it swapped
int runMainLoop(void);      // poll, then draw + poll until either says stop
// Loads the active resource table with the loading screen, then runs the
// configuration's data hook.
void loadResources(void);

// ---- frame accumulation ------------------------------------------------------
// presentFrame = accumulateFrame, depth clear, the 24-per-second rule, then
// resolveFrame and the swap when due. The two halves are public so offline
// renderers (stills, capture) can average sub-frames and read the result back
// from the back buffer before any swap.
struct PresentState {
    int accumFrames;           // frames added since the last present
    float accumWeight;         // sum of their weights (1, 1/2, 1/3, ...)
    float rateClock;           // seconds in the current 1/24 s measuring window
    int rateFrames;            // frames counted in that window
    float framesPerPresent;    // smoothed frames per 1/24 s; -1 not yet measured
};
extern PresentState presentState;
// Adds the back buffer's picture into the float sum with weight
// 1 / accumFrames. Returns the new accumFrames.
int accumulateFrame(void);
// Draws sum × 1 / accumWeight into the back buffer (no swap) and empties the
// sum. Returns 1 when a picture was drawn, 0 when there was nothing to draw or
// no float framebuffer (logged once); the counters are reset either way.
int resolveFrame(void);
void releaseResources(void);
void shutdownDemo(int code);   // releases everything and ends the process with code

// ---- window ------------------------------------------------------------------
int initWindow(void);       // 1 on success, 0 on failure, -1 dialog cancelled (start-up stops)
void onWindowSize(GLFWwindow* window, int width, int height);

// ---- keyboard and tweak camera -----------------------------------------------
void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
