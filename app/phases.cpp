// Start-up phase timing and the end-of-run summary: how long each phase of
// start-up took, the peak resident memory after it, and the frames rendered
// and presented per second over the main loop.
#include "app/phases.h"
#include "platform/platform.h"
#include <stdio.h>
#include <string.h>
#include <time.h>

// ---- state: the phases ----------------------------------------------------------
// When the current phase and the first began; a phase whose end was noted but
// not yet logged (its name, end and peak resident memory then; name null: none).
static double phaseStart, phasesBegan;
static const char* notedName;
static double notedEnd;
static long notedPeakKb;
static double loopStart = -1.0;
static long loopFrames, loopPresents;

void beginPhases(void)
{
    phasesBegan = phaseStart = monotonicSeconds();
    notedName = nullptr;
}

static void logPhase(const char* name, double end, long peakKb)
{
    logNotice("Start-up phase %-14s %8.1f ms  (total %8.1f ms, peak RSS %ld MB)\n", name, (end - phaseStart) * 1000.0,
              (end - phasesBegan) * 1000.0, peakKb / 1024);
    phaseStart = end;
}

void notePhaseEnd(const char* name)
{
    notedName = name;
    notedEnd = monotonicSeconds();
    notedPeakKb = peakResidentKb();
}

void markPhase(const char* name)
{
    double now = monotonicSeconds();
    if (notedName) logPhase(notedName, notedEnd, notedPeakKb);
    notedName = nullptr;
    logPhase(name, now, peakResidentKb());
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
