// The show clock: time zero as a tick count, the fixed time of offline runs,
// and the previous reading a step is measured from.
#include "app/clock.h"
#include "app/options.h"
#include "platform/platform.h"
#include <math.h>

// ---- state: the clock ------------------------------------------------------------
static uint32_t startTick;   // tick count at time zero of the show
static int fixedOn;          // 1: readings take fixedTime
static float fixedTime;
static float previousTime;   // the time of the latest reading

// The picture runs this much behind the wall clock: the sound's output
// latency (0 while nothing is heard) plus --av-offset.
float pictureDelaySeconds(void) { return soundOutputLatency() + runOptions.avOffsetMs / 1000.0f; }

float runningShowSeconds(uint32_t now)
{
    return showClockSeconds(ticksToSeconds(now, startTick), pictureDelaySeconds());
}

void startShowClock(float seconds) { startTick = tickCount() - (uint32_t)lroundf(seconds * 1000.0f); }

void restartShowClock(float seconds)
{
    startShowClock(seconds);
    previousTime = seconds;
}

void setShowClockAt(float seconds)
{
    startTick = tickCount() - (uint32_t)lroundf((seconds + pictureDelaySeconds()) * 1000.0f);
}

void fixShowClock(int on, float seconds)
{
    fixedOn = on ? 1 : 0;
    fixedTime = seconds;
}

int showClockFixed(float* seconds)
{
    if (fixedOn && seconds) *seconds = fixedTime;
    return fixedOn;
}

ClockReading clockReadingAt(float time)
{
    ClockReading reading = {time, time - previousTime};
    previousTime = time;
    return reading;
}
