// The small layers that stand in for the Windows kernel, the Windows dialog and
// the sound library: a wrapping millisecond clock, the display-mode dialog
// (Dear ImGui on GLFW) and audio output (SDL2 + mpg123 + libopenmpt).
#pragma once
#include <stddef.h>
#include <stdint.h>

// ---- clock -------------------------------------------------------------------
// Milliseconds from CLOCK_MONOTONIC as an unsigned 32-bit count that wraps;
// differences taken in unsigned arithmetic stay right across the wrap.
uint32_t tickCount(void);

// ---- memory --------------------------------------------------------------------
// Blocks of LargeBlockBytes or more are mapped on their own for the whole run
// instead of from the heap once glibc has raised its threshold. Call first
// thing in main. Returns 1 when the allocator took the setting (0 on other C
// libraries and under sanitizers, which keep their own allocator).
enum { LargeBlockBytes = 128 * 1024 };
int pinMmapThreshold(void);

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

// The entry the dialog opens on: selected when it lies in the list (the
// wanted 1280 × 720), else the last entry of the desktop's size (the
// monitor's current mode), else -1 (nothing; Run then plays 1280 × 720).
int preselectMode(const DisplayMode* modes, int count, int selected,
                  int desktopWidth, int desktopHeight);

// The dialog's keyboard. Up and Down step through the resolutions (Down from
// none takes the first, Up the last; both stop at the ends); Tab and Shift+Tab
// move the focus round resolution, check box, Run and Cancel; Space presses a
// focused button and otherwise toggles the check box; Enter is Run and Escape
// Cancel wherever the focus is.
enum DialogKey { DialogKeyUp, DialogKeyDown, DialogKeyTab, DialogKeyBackTab, DialogKeySpace,
                 DialogKeyEnter, DialogKeyEscape };
enum DialogControl { ControlResolution, ControlFullscreen, ControlRun, ControlCancel, DialogControls };
struct DialogInput {
    int count;              // entries in the list
    int selected;           // -1: none
    int fullscreenChecked;  // 0 or 1
    int focus;              // a DialogControl
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
