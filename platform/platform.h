// The ground floor of services every other folder uses: the log, whole-file
// reading and the data directory, the clocks, process memory and allocation
// counting, the window with its GL context, GL error accounting, the
// display-mode dialog and the sound layer (SDL2 + mpg123 + libopenmpt).
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

struct GLFWwindow;

// ---- log -----------------------------------------------------------------------
// Appends a printf-style message to the log file (opened and closed per call).
// Warnings and errors (logLineIsProblem) also go to stderr, every message with
// setLogEcho(1). Returns 1, or 0 when the log file could not be opened: the
// first such failure writes one warning to stderr, later ones stay silent.
int logMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// As logMessage, always echoed to stderr (start-up phases, the run's outcome).
int logNotice(const char* format, ...) __attribute__((format(printf, 1, 2)));
// 1 when a log text reports a problem: it begins "ERROR", "WARNING", "EEEE",
// "Can't", ... or holds "could not", "failed", "refused", "damaged", ...
int logLineIsProblem(const char* text);
// The log file's name: "demo.log" in the working directory unless set (the
// text is kept, not copied; set it before the first message). 1 set, 0 empty.
int setLogFile(const char* path);
const char* logFilePath(void);
void setLogEcho(int everything);   // 1: every message also goes to stderr
// Recreates the log file with the logo (written directly), then logs the title
// block. A log that cannot be created loses the logo (one warning on stderr).
void startLog(void);
// Capturing: between beginLogCapture and endLogCapture every logMessage,
// logNotice and logStderr of the calling thread (only that thread) is kept
// in capture, in order, instead of being written. replayLogCapture writes
// the kept messages as they would have been written (log, echo, stderr); it
// may be called again (the same messages again) until freeLogCapture. A capture holds at most LogCaptureLimit bytes; messages
// past it are dropped and replaying then says how many. A zero-filled
// LogCapture is empty.
enum : size_t { LogCaptureLimit = (size_t)1 << 20 };
struct LogCapture {
    char* text;   // records: a kind byte, the text, a zero
    size_t used, capacity;
    int dropped;   // messages that did not fit
};
void beginLogCapture(LogCapture* capture);
void endLogCapture(void);
void replayLogCapture(LogCapture* capture);
void freeLogCapture(LogCapture* capture);   // drops what it holds
// Writes a message to stderr only (not the log), or into the thread's capture.
// Returns 1 written or kept, 0 failed.
int logStderr(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- files and the data directory ---------------------------------------------------
// A data file is read only when it is a regular file no larger than the limit
// of its kind (docs/data-files.md): a pipe, device, directory or oversized
// file is refused with a log line naming it, before anything is allocated.
enum : size_t {
    NoFileLimit = (size_t)-1,
    TextureFileLimit = (size_t)32 << 20,      // .jpg, .tga (largest real: 0.26 MB)
    MeshFileLimit = (size_t)32 << 20,         // .bof, .baf (largest real: 2.1 MB)
    ShaderFileLimit = (size_t)64 << 10,       // the reader itself refuses 16384 bytes or more
    TrackFileLimit = (size_t)1 << 20,         // sync track keys (largest real: 490 bytes)
    SoundtrackFileLimit = (size_t)32 << 20,   // .mp3, .ogg (largest real: 4.4 MB)
    ModuleFileLimit = (size_t)16 << 20,       // tracker modules
};
// Why a file of this mode (st_mode) and size is refused ("a named pipe", "a
// device", "a directory", "a socket", "not a regular file", "larger than its
// limit"), or null when it may be read.
const char* dataFileRefusal(unsigned mode, uint64_t size, uint64_t limit);
// Checks path by stat (for readers that open the file themselves). Returns 1
// readable, 0 missing (not logged), -1 refused (logged with the reason).
int checkDataFile(const char* path, size_t limit);
// Opens path for reading when it passes the check, without ever blocking on
// a pipe. Returns the stream (fclose it) with *status 1; null with *status 0
// when it cannot be opened (not logged), -1 when refused (logged).
FILE* openDataFile(const char* path, size_t limit, int* status);
// Reads a whole file through openDataFile into a new buffer (one zero byte
// past size; free()). Returns 1, 0 when the file cannot be opened, -1 when it
// is refused, reading or memory failed or it holds more than limit bytes.
int readWholeFile(const char* path, size_t limit, unsigned char** data, size_t* size);
// Names the data directory (with its trailing separator); start-up calls it
// before the first dataPath, which fixes the prefix for the rest of the run.
void setDataDirectory(const char* directory);
const char* dataDirectoryInUse(void);
// Room for a data file's name with the data directory in front: the data
// directory may be an installed one deep in the file system, so the buffers
// hold any path the system can open.
enum { DataPathSize = 4096 };
// Puts the data directory in front of text in place. capacity is the size of
// the buffer; a name that does not fit is refused (logged) and 0 returned.
int dataPath(char* text, int capacity);

// ---- numbers ------------------------------------------------------------------------
// Reads the whole of [begin, end) as a float in std::from_chars' syntax
// (correctly rounded, no locale). Returns 1 with *value set, 0 when that
// reader does not take it whole: the caller then reads the rare forms (and,
// on a C library without a float from_chars, every form) with strtof.
int readFloatChars(const char* begin, const char* end, float* value);

// ---- clocks --------------------------------------------------------------------------
// Milliseconds from CLOCK_MONOTONIC as an unsigned 32-bit count that wraps;
// differences taken in unsigned arithmetic stay right across the wrap.
uint32_t tickCount(void);
// Seconds from start to now on the wrapping millisecond counter.
float ticksToSeconds(uint32_t now, uint32_t start);
double monotonicSeconds(void);   // CLOCK_MONOTONIC in seconds
// CPU seconds used by every thread of the process: unlike the wall time it
// hardly changes when other programs share the cores.
double processCpuSeconds(void);
// Seconds between a sample reaching the output and being heard: the device
// buffer (bufferFrames at rate) plus the frames queued in front of it; 0 for
// a rate that is not positive.
float audioLatencySeconds(int bufferFrames, int rate, uint32_t queuedFrames);
// The show clock that matches what is heard: the wall clock of the show
// minus the picture's delay (sound latency + user offset), never below 0.
float showClockSeconds(float wallSeconds, float delaySeconds);

// ---- memory --------------------------------------------------------------------
// Blocks of LargeBlockBytes or more are mapped on their own for the whole run
// instead of from the heap once glibc has raised its threshold, and the heap
// keeps up to HeapKeepBytes free at its top instead of shrinking. Call first
// thing in main. Returns 1 when the allocator took the settings (0 on other C
// libraries and under sanitizers, which keep their own allocator).
enum { LargeBlockBytes = 128 * 1024, HeapKeepBytes = 32 * 1024 * 1024 };
int pinMmapThreshold(void);
void giveBackFreeMemory(void);   // the heap's free pages back to the system (after rare large work)
// Start-up: until endLoadingHeap, every block of every thread comes from the
// one heap, whose first LoadingHeapBytes are advised for huge pages (fewer page
// faults). Call before the threads that load start. Returns 1 when the heap
// took the advice; 0 when not: on other C libraries and under sanitizers
// nothing changed, else the heap is shared but not advised until the end.
enum { LoadingHeapBytes = 512 * 1024 * 1024 };
int beginLoadingHeap(void);
void endLoadingHeap(void);   // the settings of pinMmapThreshold again, the heap's free top given back
long peakResidentKb(void);   // VmHWM of this process, 0 when unknown
long residentKb(void);       // VmRSS of this process, 0 when unknown

// ---- heap allocation counting (bench) ------------------------------------------------
// malloc, calloc, realloc, the aligned allocators and operator new are
// counted while counting is on: all threads, the thread that turned it on,
// and the calls made from this program's own code (not from a library).
// Sanitizer builds keep their own allocator: available() is 0 there.
int allocationCountingAvailable(void);
void setAllocationCounting(int on);
long allocationsCounted(void);             // all threads
long mainThreadAllocationsCounted(void);   // the thread that turned counting on
long engineAllocationsCounted(void);       // called from this program's own code

// ---- window and GL context -------------------------------------------------------------
extern GLFWwindow* mainWindow;
extern int fullscreen;   // 1 when the window was made on the monitor
// Makes the window (on the primary monitor when onMonitor), its context
// current, sticky keys, GLEW. Returns 1, or 0 (logged, GLFW terminated).
int openMainWindow(int width, int height, int onMonitor, int debugContext);
// Full screen on the primary monitor at its mode (on = 1), or back to the
// window's previous position and size. Returns 1 when the window changed.
int setWindowFullscreen(int on);
// The window's framebuffer size as its events last gave it (at creation,
// then at each event poll); returns 1 when both are positive.
int windowFramebufferSize(int* width, int* height);
void logGLInfo(void);   // renderer, version and limits into the log
// GLFW's description of its latest error, or null when it has none to give.
const char* windowSystemError(void);

// ---- GL error accounting (--gl-debug) ------------------------------------------
// startGLDebug (window creation, with --gl-debug) installs the KHR_debug
// callback when the context offers it, else errors are drained with glGetError
// at checkGLErrors (every frame and start-up step). Every error is counted and
// logged with its GL source and the phase set last ("loading", "scene 4").
void startGLDebug(void);
void setGLDebugPhase(const char* name, int number);   // name is kept, not copied; number -1: none
int checkGLErrors(void);                              // errors found by glGetError and not reported by the callback
long glErrorCount(void);                              // errors counted since startGLDebug
void logGLDebugSummary(void);                         // "GL debug: N GL errors"; nothing without --gl-debug

// ---- other programs ----------------------------------------------------------------
// Starts argv[0] (looked up in PATH unless it holds a '/') without a shell, in
// a process group of its own (a Ctrl-C at the terminal reaches only this
// program, which then ends the child cleanly). With stdinPipe the child reads
// its standard input from *stdinPipe (fclose it to end the input); with quiet
// its standard output goes to /dev/null. Returns the pid, or -1 with errno set.
pid_t spawnProgram(char* const* argv, FILE** stdinPipe, int quiet);
// Waits for the program (block 1) or looks whether it has ended (block 0).
// Returns 1 when it exited with status 0, 0 when it failed or cannot be
// waited for, -1 while it still runs (block 0 only).
int waitProgram(pid_t pid, int block);
// The folder of the running program (no trailing '/'). 1, or 0 when it
// cannot be read or does not fit in capacity bytes.
int programFolder(char* out, size_t capacity);

// ---- watching files (hot reload) -------------------------------------------------------
enum { MaxWatchedFolders = 4, WatchNameSize = 128 };
struct WatchEvent {
    int folder;                 // the index watchFolder returned
    char name[WatchNameSize];   // file name inside it
    double changedAt;           // monotonic seconds of its latest write
};
int watchStart(void);                // 1 ready; 0 (logged) when inotify is not available
int watchFolder(const char* path);   // the folder's index, or -1 (logged)
// Files written and closed (or moved in) whose latest change lies at least
// settleSeconds before now (monotonic seconds); each is handed out once.
// Never blocks. Returns the count written to events.
int watchPoll(double now, double settleSeconds, WatchEvent* events, int capacity);
void watchRetry(const WatchEvent* event, double now);   // hand the file out again later
void watchStop(void);

// ---- display-mode dialog -----------------------------------------------------
struct DisplayChoice {
    int width;          // default 1280
    int height;         // default 720
    int bitsPerPixel;   // bits a mode must have to be listed (32)
    int windowed;       // 1 window, 0 full screen
};
enum { MaxDisplayModes = 4096 };
struct DisplayMode {
    int width, height;
};
// One entry the monitor reports: size and colour bits.
struct VideoModeInfo {
    int width, height, redBits, greenBits, blueBits;
};

// Builds the dialog's list from the monitor's modes: keeps 8+8+8-bit modes in
// the given order, skips a mode whose size equals the entry listed just before,
// stops at capacity. Returns the count; *selected is the last entry equal to
// wantWidth × wantHeight, or -1 when none is.
int buildModeList(const VideoModeInfo* modes, int modeCount, DisplayMode* out, int capacity, int wantWidth,
                  int wantHeight, int* selected);

// What "Run" makes of the dialog's state: the selected entry's size, full
// screen when the box is checked; with no entry selected (or an index outside
// the list) 1280 × 720 in a window.
void applyModeChoice(DisplayChoice* choice, const DisplayMode* modes, int count, int selected, int fullscreenChecked);

// The entry the dialog opens on: selected when it lies in the list (the
// wanted 1280 × 720), else the last entry of the desktop's size (the
// monitor's current mode), else -1 (nothing; Run then plays 1280 × 720).
int preselectMode(const DisplayMode* modes, int count, int selected, int desktopWidth, int desktopHeight);

// The dialog's keyboard. Up and Down step through the resolutions (Down from
// none takes the first, Up the last; both stop at the ends); Tab and Shift+Tab
// move the focus round resolution, check box, Run and Cancel; Space presses a
// focused button and otherwise toggles the check box; Enter is Run and Escape
// Cancel wherever the focus is.
enum DialogKey {
    DialogKeyUp,
    DialogKeyDown,
    DialogKeyTab,
    DialogKeyBackTab,
    DialogKeySpace,
    DialogKeyEnter,
    DialogKeyEscape
};
enum DialogControl { ControlResolution, ControlFullscreen, ControlRun, ControlCancel, DialogControls };
struct DialogInput {
    int count;               // entries in the list
    int selected;            // -1: none
    int fullscreenChecked;   // 0 or 1
    int focus;               // a DialogControl
};
// Applies one key press or repeat. Returns 1 Run, 0 Cancel, -2 still open
// (also for a key outside DialogKey).
int dialogKeyPress(DialogInput* input, int key);

// Shows the modal dialog and edits choice in place.
// Returns 1 Run, 0 Cancel or closed, -1 when it could not be shown.
int runModeDialog(DisplayChoice* choice);

// ---- sound -------------------------------------------------------------------
// Initialise once; output 44100 Hz stereo through SDL2, falling back to a
// silent output whose position still advances. Returns 1 when ready.
int soundInit(int mixRate);
// Chosen before soundInit: the output device by name (null or empty: the
// default) and muting (SDL's silent "dummy" driver: no device is opened, the
// play position still advances with the wall clock). A name no device has is
// logged and the default device plays.
void soundSetOutput(const char* deviceName, int mute);
// Prints the output devices SDL knows, one name a line. Returns their count,
// -1 when SDL's audio could not start (logged).
int soundPrintDevices(FILE* out);
// Seconds from writing a sample to hearing it, from the obtained output
// format and what is queued; 0 without an output or when muted.
float soundOutputLatency(void);
struct SoundStream;
struct SoundModule;
typedef void (*SoundZxxCallback)(SoundModule* module, unsigned char parameter);

SoundStream* soundStreamOpen(const char* path);               // null on failure
int soundStreamPlay(SoundStream* stream, uint32_t startMs);   // 1 started
int soundStreamClose(SoundStream* stream);                    // 1 released
// 1: the output plays silence and nothing moves on (pause); 0: plays on
// from the same sample. Returns 1.
int soundHold(int held);
SoundModule* soundModuleLoad(const char* path);   // null on failure
int soundModuleSetZxxCallback(SoundModule* module, SoundZxxCallback callback);
int soundModulePlay(SoundModule* module, uint32_t startMs);
int soundModuleFree(SoundModule* module);
int soundModuleTime(SoundModule* module);   // play time in ms
int soundModuleOrder(SoundModule* module);
int soundModulePattern(SoundModule* module);
int soundModuleRow(SoundModule* module);
int soundStreamTime(SoundStream* stream);     // play position in ms
int soundStreamLength(SoundStream* stream);   // decoded length in ms
int soundLiveObjects(void);                   // streams and modules not yet released
// Decodes a stream file (".mp3", ".ogg") whole into interleaved stereo floats
// at 44100 Hz, the samples playback mixes. Returns the frame count with
// *frames malloc'ed (the caller frees it); 0 and null on failure.
size_t soundDecodeStream(const char* path, float** frames);
// Closes the output so a later soundInit opens it again (tests; the show never
// closes it).
void soundShutdown(void);
