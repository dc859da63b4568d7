// The show's window: its set-up (size from the command line or the dialog,
// GL context, fixed GL state, the first cleared frames), following its size
// at every poll, the memory budget and GL limits a frame size must meet, and
// full screen on F11 and Alt+Enter.
#pragma once
#include <stdint.h>

struct GLFWwindow;

// What the command line asks of the window. 0 × 0 size: ask with the dialog.
struct WindowRequest {
    int width, height;
    int fullscreen;
    int glDebug;    // a debug context and GL error accounting
    int vsyncOff;   // present without waiting for the display's refresh
};
// 1 on success, 0 on failure (logged), -1 dialog cancelled (start-up stops).
// Ends the program with exit code 1 for a size it cannot play.
int initWindow(const WindowRequest* request);
void onWindowSize(GLFWwindow* window, int width, int height);

// ---- sizes a frame may have ------------------------------------------------------------
// The frame buffers of one size (post buffers + accumulation) must fit this
// many bytes; a larger size is refused before anything is allocated.
enum : uint64_t { FrameBudgetBytes = (uint64_t)1 << 30 };
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

// ---- following the window -----------------------------------------------------------
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
// Resizes the window to W x H and waits until the buffers follow (tests).
// Returns 1 (also for a size that is not positive: nothing asked), 0 when
// the size was not reached (logged).
int applyResizeRequest(int width, int height);
