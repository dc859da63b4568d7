// The ground floor of services every other folder uses: the log, whole-file
// reading and the data directory, the clocks, process memory and allocation
// counting, the window with its GL context, GL error accounting, the
// display-mode dialog and the sound layer (SDL2 + mpg123 + libopenmpt).
#pragma once
#include <stddef.h>
#include <stdint.h>

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

// ---- files and the data directory ---------------------------------------------------
// Reads a whole file into a new buffer (one zero byte past size; free()).
// Returns 1, 0 when the file cannot be opened, -1 when reading or memory
// failed or the file holds more than limit bytes.
int readWholeFile(const char* path, size_t limit, unsigned char** data, size_t* size);
enum : size_t { NoFileLimit = (size_t)-1 };
// Names the data directory (with its trailing separator); start-up calls it
// before the first dataPath, which fixes the prefix for the rest of the run.
void setDataDirectory(const char* directory);
const char* dataDirectoryInUse(void);
// Puts the data directory in front of text in place. capacity is the size of
// the buffer; a name that does not fit is refused (logged) and 0 returned.
int dataPath(char* text, int capacity);

// ---- clocks --------------------------------------------------------------------------
// Milliseconds from CLOCK_MONOTONIC as an unsigned 32-bit count that wraps;
// differences taken in unsigned arithmetic stay right across the wrap.
uint32_t tickCount(void);
// Seconds from start to now on the wrapping millisecond counter.
float ticksToSeconds(uint32_t now, uint32_t start);
double monotonicSeconds(void);   // CLOCK_MONOTONIC in seconds

// ---- memory --------------------------------------------------------------------
// Blocks of LargeBlockBytes or more are mapped on their own for the whole run
// instead of from the heap once glibc has raised its threshold. Call first
// thing in main. Returns 1 when the allocator took the setting (0 on other C
// libraries and under sanitizers, which keep their own allocator).
enum { LargeBlockBytes = 128 * 1024 };
int pinMmapThreshold(void);
long peakResidentKb(void);       // VmHWM of this process, 0 when unknown
long residentKb(void);           // VmRSS of this process, 0 when unknown

// ---- heap allocation counting (bench) ------------------------------------------------
// malloc, calloc, realloc, the aligned allocators and operator new are
// counted while counting is on: all threads, the thread that turned it on,
// and the calls made from this program's own code (not from a library).
// Sanitizer builds keep their own allocator: available() is 0 there.
int allocationCountingAvailable(void);
void setAllocationCounting(int on);
long allocationsCounted(void);            // all threads
long mainThreadAllocationsCounted(void);  // the thread that turned counting on
long engineAllocationsCounted(void);      // called from this program's own code

// ---- window and GL context -------------------------------------------------------------
extern GLFWwindow* mainWindow;
extern int fullscreen;         // 1 when the window was made on the monitor
// Makes the window (on the primary monitor when onMonitor), its context
// current, sticky keys, GLEW. Returns 1, or 0 (logged, GLFW terminated).
int openMainWindow(int width, int height, int onMonitor, int debugContext);
// The window's framebuffer size; returns 1 when both are positive.
int windowFramebufferSize(int* width, int* height);
void logGLInfo(void);          // renderer, version and limits into the log

// ---- GL error accounting (--gl-debug) ------------------------------------------
// startGLDebug (window creation, with --gl-debug) installs the KHR_debug
// callback when the context offers it, else errors are drained with glGetError
// at checkGLErrors (every frame and start-up step). Every error is counted and
// logged with its GL source and the phase set last ("loading", "scene 4").
void startGLDebug(void);
void setGLDebugPhase(const char* name, int number);   // name is kept, not copied; number -1: none
int checkGLErrors(void);        // errors found by glGetError and not reported by the callback
long glErrorCount(void);        // errors counted since startGLDebug
void logGLDebugSummary(void);   // "GL debug: N GL errors"; nothing without --gl-debug

// ---- display-mode dialog -----------------------------------------------------
struct DisplayChoice {
    int width;          // default 1280
    int height;         // default 720
    int bitsPerPixel;   // bits a mode must have to be listed (32)
    int windowed;       // 1 window, 0 full screen
};
enum { MaxDisplayModes = 4096 };
struct DisplayMode { int width, height; };
// One entry the monitor reports: size and colour bits.
struct VideoModeInfo { int width, height, redBits, greenBits, blueBits; };

// Builds the dialog's list from the monitor's modes: keeps 8+8+8-bit modes in
// the given order, skips a mode whose size equals the entry listed just before,
// stops at capacity. Returns the count; *selected is the last entry equal to
// wantWidth × wantHeight, or -1 when none is.
int buildModeList(const VideoModeInfo* modes, int modeCount, DisplayMode* out,
                  int capacity, int wantWidth, int wantHeight, int* selected);

// What "Run" makes of the dialog's state: the selected entry's size, full
// screen when the box is checked; with no entry selected (or an index outside
// the list) 1280 × 720 in a window.
void applyModeChoice(DisplayChoice* choice, const DisplayMode* modes, int count,
                     int selected, int fullscreenChecked);

// Shows the modal dialog and edits choice in place.
// Returns 1 Run, 0 Cancel or closed, -1 when it could not be shown.
int runModeDialog(DisplayChoice* choice);

// ---- sound -------------------------------------------------------------------
// Initialise once; output 44100 Hz stereo through SDL2, falling back to a
// silent output whose position still advances. Returns 1 when ready.
int soundInit(int mixRate);
struct SoundStream;
struct SoundModule;
typedef void (*SoundZxxCallback)(SoundModule* module, unsigned char parameter);

SoundStream* soundStreamOpen(const char* path);          // null on failure
int soundStreamPlay(SoundStream* stream, uint32_t startMs); // 1 started
int soundStreamClose(SoundStream* stream);               // 1 released
SoundModule* soundModuleLoad(const char* path);          // null on failure
int soundModuleSetZxxCallback(SoundModule* module, SoundZxxCallback callback);
int soundModulePlay(SoundModule* module, uint32_t startMs);
int soundModuleFree(SoundModule* module);
int soundModuleTime(SoundModule* module);      // play time in ms
int soundModuleOrder(SoundModule* module);
int soundModulePattern(SoundModule* module);
int soundModuleRow(SoundModule* module);
int soundStreamTime(SoundStream* stream);      // play position in ms
int soundStreamLength(SoundStream* stream);    // decoded length in ms
int soundLiveObjects(void);                    // streams and modules not yet released
// Decodes a stream file (".mp3", ".ogg") whole into interleaved stereo floats
// at 44100 Hz, the samples playback mixes. Returns the frame count with
// *frames malloc'ed (the caller frees it); 0 and null on failure.
size_t soundDecodeStream(const char* path, float** frames);
// Closes the output so a later soundInit opens it again (tests; the show never
// closes it).
void soundShutdown(void);
