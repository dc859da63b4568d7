// The clocks: the arithmetic of the wrapping millisecond tick counter the
// show's time runs on (platform/ticks.cpp reads it), and monotonic seconds
// for measuring start-up phases and frames.
#include "platform/platform.h"
#include <time.h>

float ticksToSeconds(uint32_t now, uint32_t start)
{
    uint32_t elapsed = now - start;   // unsigned: right across the counter's wrap
    return (float)(elapsed / 1000.0);
}

float audioLatencySeconds(int bufferFrames, int rate, uint32_t queuedFrames)
{
    if (rate <= 0 || bufferFrames < 0) return 0.0f;
    return (float)(((double)bufferFrames + (double)queuedFrames) / (double)rate);
}

float showClockSeconds(float wallSeconds, float delaySeconds)
{
    float t = wallSeconds - delaySeconds;
    return t > 0.0f ? t : 0.0f;   // also NaN
}

double monotonicSeconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}
