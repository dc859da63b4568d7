// The program: entry, command line, start-up, main loop, shutdown, frame
// presentation, the window set-up, the loading screen, the keyboard (tweak
// camera), stills, capture and bench. Everything here runs on the main thread.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct SyncTrack;
struct GLFWwindow;

// ---- the loop's clock ---------------------------------------------------------
// pollFrame sets the show clock (sync.h: frameTime, frameDelta,
// framePresented) from the tick count against startTick.
extern uint32_t startTick;   // tick count at time zero of the show

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
int parseCaptureOption(const char* value);     // --capture DIR|FILE.mp4
int parseFpsOption(const char* value);         // --fps N, 1..240
int parseFromOption(const char* value);        // --from SEC
int parseToOption(const char* value);          // --to SEC
int parseSubframesOption(const char* value);   // --subframes K, 1..64
int parseBenchOption(const char* value);       // --bench
int parseSecondsOption(const char* value);     // --seconds N
int parseRunsOption(const char* value);        // --runs N, 1..100
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
int startDemo(void);   // 1 on success, 0 when the window could not be made, -1 dialog cancelled
int pollFrame(void);   // one poll step; non-zero means stop
// Sets the show clock to seconds now (the next poll reads from there).
void restartShowClock(float seconds);
// With --loop: music and clock back to 0 at the show's end (logged), returns
// 1; without it returns 0 and the show ends.
int restartShowForLoop(void);
// How far the picture runs behind the wall clock: the sound's output latency
// plus --av-offset. The music's cursor runs this much ahead of the show time.
float pictureDelaySeconds(void);
int presentFrame(void);   // accumulate the frame just drawn; 1 if it swapped
// The heads-up display over the back buffer, the engine's GL state kept around
// it; timed: bracketed by glFinish and counted for the log's cost line.
void drawHudOverFrame(int timed);
int runMainLoop(void);    // poll, then draw + poll until either says stop
// Loads the active resource table with the loading screen, then runs the
// configuration's data hook.
void loadResources(void);

// ---- frame accumulation ------------------------------------------------------
// presentFrame = accumulateFrame, depth clear, the 24-per-second rule, then
// resolveFrame and the swap when due. The two halves are public so offline
// renderers (stills, capture) can average sub-frames and read the result back
// from the back buffer before any swap.
struct PresentState {
    int accumFrames;          // frames added since the last present
    float accumWeight;        // sum of their weights (1, 1/2, 1/3, ...)
    float rateClock;          // seconds in the current 1/24 s measuring window
    int rateFrames;           // frames counted in that window
    float framesPerPresent;   // smoothed frames per 1/24 s; -1 not yet measured
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
int initWindow(void);   // 1 on success, 0 on failure, -1 dialog cancelled (start-up stops)
void onWindowSize(GLFWwindow* window, int width, int height);

// ---- following the window -----------------------------------------------------------
// The frame buffers of one size (post buffers + accumulation) must fit this
// many bytes; a larger size is refused before anything is allocated.
enum : uint64_t { FrameBudgetBytes = (uint64_t)1 << 30 };
// Bytes of the accumulation (float sum + copy of the frame) for W x H.
uint64_t accumulationBytes(int width, int height);
// Post buffers + accumulation for W x H; 0 for a size that is not positive.
uint64_t frameSizeBytes(int width, int height);
int frameSizeFitsBudget(int width, int height);   // 1 when positive and within FrameBudgetBytes
struct FrameSizeLimits {
    int viewportWidth, viewportHeight, textureSize, renderbufferSize;
};
// The name of the first GL limit W x H exceeds, or null when it fits.
const char* frameSizeLimitProblem(int width, int height, const FrameSizeLimits* limits);
// Logs why W x H cannot be played (budget; with contextMade also the GL
// limits) and returns 1, or returns 0 when it can.
int refuseUnfitFrameSize(int width, int height, int contextMade);
// The framebuffer size is followed once it has been the same for SettlePolls
// polls and SettleSeconds: a drag does not remake the buffers every frame.
enum { SettlePolls = 3 };
static const double SettleSeconds = 0.2;
struct SizeWatch {
    int madeWidth, madeHeight;   // the size the buffers have
    int seenWidth, seenHeight;   // the size seen at the last poll
    int stablePolls;             // polls since it last changed
    double since;                // when it last changed
};
// Feeds one poll's size; returns 1 when the buffers should be remade at it now
// (the caller then sets madeWidth/madeHeight).
int sizeSettled(SizeWatch* watch, int width, int height, double now);
// Every poll: F11 / Alt+Enter, and the post buffers and accumulation remade
// once a new framebuffer size has settled.
void followWindow(void);
// --resize-to: resizes the window and waits until the buffers follow.
// Returns 1 (also with nothing requested), 0 when the size was not reached (logged).
int applyResizeRequest(void);
// The accumulation is remade at this size at its next frame; until then
// frames of another size are presented without it.
void setAccumulationSize(int width, int height);
// ---- transport (windowed runs) ------------------------------------------------------
struct Transport {
    int paused;
    float pausedAt;           // the show time while paused (and of the latest move)
    int looping;              // 1 while [loopFrom, loopTo) repeats
    float loopFrom, loopTo;   // R sets both; [ and ] set one each
};
extern Transport transport;
// The show time at tick now: held while paused; a loop's end jumps back to its start.
float transportClock(uint32_t now);
void transportSeek(float time);   // clock and music to time, clamped into the show
void transportPause(int on);      // 1 holds picture time and music; 0 plays on from there
// Space, Left/Right (Shift: bar, Ctrl: row), Page Up/Down, Home, R, [ and ].
// Returns 1 when the key was a transport key.
int transportKey(int key, int mods);
// The grid point step before (direction -1) or after (+1) time, never below 0;
// a time on the grid moves a whole step.
float gridStep(float time, float step, int direction);
// Scene starts (seconds) on a scene track: keys whose scene number 1..9
// differs from the key before. Returns the count (at most capacity).
int sceneStarts(const SyncTrack* track, float rowRate, float* starts, int capacity);
// Among sorted starts: direction -1 the last start before time (the current
// scene's, or the previous one's when time is on a start), 0 the start of the
// scene at time, +1 the next start; -1 when there is none.
float sceneJump(const float* starts, int count, float time, int direction);

// ---- heads-up display (F1) ----------------------------------------------------------
int hudVisible(void);
void showHud(int on);
// The message line (the latest reload or error) and the recorded camera key.
void hudMessagef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void hudCameraKey(const char* line);
void hudNoteFrame(void);   // once per loop frame: track history, frame time
int prepareHud(void);      // sets the display up now (else at its first frame); 1 when ready
void drawHud(void);        // into the bound framebuffer; nothing while hidden
void shutdownHud(void);    // logs the display's mean cost per frame, then releases it
// The display's mean GL time per frame it was timed in, that frame count and
// the count of frames it was drawn over untimed (bench).
double hudMillisecondsPerFrame(long* frames, long* untimed);
// "mm:ss.mmm" and "bar:beat:row" (counted from 0) of a show time.
void formatShowTime(float seconds, char* out, int size);
void formatShowPosition(float seconds, int rowsPerBeat, int beatsPerBar, char* out, int size);

// ---- live editing (--edit [DIR]) -------------------------------------------------------
// Watches the data directory in use and, when given, the folder of authored
// sources. Returns 1 when watching.
int startLiveEdit(const char* sources);
int liveEditing(void);
void pollLiveEdit(void);          // once a frame: applies what changed and settled
int startSoundtrackBuild(void);   // F5; 1 started
void stopLiveEdit(void);

// ---- keyboard and tweak camera -----------------------------------------------
// Enter (or keypad Enter) pressed, in or out of tweak mode, records the live
// camera: the line of formatCameraKey goes to the log and is appended to
// "camera_keys.txt" in the working directory (a file that cannot be opened is
// logged, the show goes on).
void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
struct Camera;
// Writes the camera as one entry of a scene's CameraKey table,
// "{x, y, z, yaw, pitch, roll, near, far, fov},  // scene N at T s", angles in
// degrees, every number with the fewest digits that read back as the same
// float. Returns the length, or 0 (out empty when size > 0) when it does not
// fit in size bytes with its terminator, a value is not finite or an argument
// is null.
int formatCameraKey(const Camera* cam, int scene, float time, char* out, int size);
