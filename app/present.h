// Presentation: every frame rendered between two presents (about 24 a second)
// is added with a falling weight into a float sum whose average is what the
// window shows; offline renderers average sub-frames the same way and read
// the result back before any swap.
#pragma once
#include <stdint.h>

// The step to hand before the clock runs (start-up, loading screen): every
// frame is then presented.
static const float ClockNotRunning = -1.0f;

struct PresentState {
    int accumFrames;          // frames added since the last present
    float accumWeight;        // sum of their weights (1, 1/2, 1/3, ...)
    float rateClock;          // seconds in the current 1/24 s measuring window
    int rateFrames;           // frames counted in that window
    float framesPerPresent;   // smoothed frames per 1/24 s; -1 not yet measured
};
extern PresentState presentState;

// Bytes of the accumulation (float sum + copy of the frame) for W x H.
uint64_t accumulationBytes(int width, int height);
// The accumulation is remade at this size at its next frame; until then
// frames of another size are presented without it.
void setAccumulationSize(int width, int height);
// Adds the back buffer's picture into the float sum with weight
// 1 / accumFrames. Returns the new accumFrames.
int accumulateFrame(void);
// Draws sum × 1 / accumWeight into the back buffer (no swap) and empties the
// sum. Returns 1 when a picture was drawn, 0 when there was nothing to draw or
// no float framebuffer (logged once); the counters are reset either way.
int resolveFrame(void);
// The frame just drawn, delta seconds after the one before: accumulated, the
// depth cleared and, when the rate of 24 presents a second makes one due,
// resolved. Returns 1 when the back buffer holds the picture to show now
// (the caller may draw over it, then swapFrame), 0 while it waits for more.
int finishFrame(float delta);
void swapFrame(void);   // shows the back buffer
// finishFrame, then swapFrame when due. Returns 1 if it swapped.
int presentFrame(float delta);
