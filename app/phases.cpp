// Start-up phase timing and the end-of-run summary: how long each phase of
// start-up took, the peak resident memory after it, and the frames rendered
// and presented per second over the main loop.
#include "app/phases.h"
#include "platform/platform.h"
#include <stdio.h>
#include <string.h>
#include <time.h>

static double phaseStart, phasesBegan;
static double loopStart = -1.0;
static long loopFrames, loopPresents;

void beginPhases(void) { phasesBegan = phaseStart = monotonicSeconds(); }

void markPhase(const char* name)
{
    double now = monotonicSeconds();
    logNotice("Start-up phase %-14s %8.1f ms  (total %8.1f ms, peak RSS %ld MB)\n", name, (now - phaseStart) * 1000.0,
              (now - phasesBegan) * 1000.0, peakResidentKb() / 1024);
    phaseStart = now;
}

// The first call starts the measured span: it ends the "first frame" phase.
void countLoopFrame(int presented)
{
    if (loopStart < 0.0) {
        markPhase("first frame");
        loopStart = monotonicSeconds();
        return;
    }
    loopFrames++;
    loopPresents += presented ? 1 : 0;
}

void logRunSummary(void)
{
    if (loopStart < 0.0) return;
    double seconds = monotonicSeconds() - loopStart;
    if (!(seconds > 0.0)) seconds = 1e-9;
    logMessage("Summary: %ld frames rendered in %.2f s (%.1f per second), %ld presented (%.1f per second), "
               "peak RSS %ld MB\n",
               loopFrames, seconds, (double)loopFrames / seconds, loopPresents, (double)loopPresents / seconds,
               peakResidentKb() / 1024);
}
