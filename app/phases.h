// Start-up timing and the run's summary: each start-up phase's duration and
// the peak resident memory after it; frames rendered and presented per second.
#pragma once

// Logs one start-up phase: its duration since the previous mark (or since
// beginPhases) and the peak resident memory so far.
void beginPhases(void);
void markPhase(const char* name);
// Notes that phase name (a static string) ended now without a log line amid
// other output; the next markPhase logs it first, with its time and memory.
void notePhaseEnd(const char* name);
// Counts the frames of the main loop (the first ends the "first frame"
// phase); logs the end-of-run summary line.
void countLoopFrame(int presented);
void logRunSummary(void);
