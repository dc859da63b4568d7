// The bench: the show at fixed 1/30 s steps as fast as the GL can go, without
// presenting; each frame timed to the end of its GL work (wall and process CPU
// time) with its heap allocations counted; then per-scene statistics.
#include "app/hud.h"
#include "app/offline.h"
#include "app/options.h"
#include "app/phases.h"
#include "app/preflight.h"
#include "app/signals.h"
#include "platform/platform.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <string.h>

enum { BenchRate = 30, SceneSlots = ShowSceneCount + 2, MaxBenchFrames = BenchRate * 3600 * 4 };

struct BenchSample {
    int slot;      // scene 1..ShowSceneCount, 0 for frames outside any scene
    float ms;      // wall time to the end of the frame's GL work
    float cpuMs;   // CPU time of all threads of the process (GL driver included)
};

struct BenchTotals {
    long frames, engineAllocations, mainAllocations, allAllocations, framesAllocating;
};

static int sceneSlot(const ShowFrame* frame)
{
    float scene = frame->tracks[TrackScene];
    return scene >= 1.0f && scene < (float)(ShowSceneCount + 1) ? (int)scene : 0;
}

// One frame at time t, timed to the end of its GL work, allocations counted.
// Returns 1 when the show has ended (that frame is not counted).
static int benchFrame(double t, BenchSample* sample, BenchTotals* totals)
{
    if (allocationCountingAvailable()) setAllocationCounting(1);
    double begin = monotonicSeconds(), cpuBegin = processCpuSeconds();
    ShowFrame frame = showFrameAt((float)t, 1.0f / BenchRate, 1);
    int ended = drawShowFrame(&frame);
    sample->slot = sceneSlot(&frame);
    if (hudVisible()) {   // --hud: the display's cost is the difference to a run without it
        hudNoteFrame(&frame);
        drawHudOverFrame(&frame, 0);
    }
    glClear(GL_DEPTH_BUFFER_BIT);
    glFinish();
    sample->ms = (float)((monotonicSeconds() - begin) * 1000.0);
    sample->cpuMs = (float)((processCpuSeconds() - cpuBegin) * 1000.0);
    setAllocationCounting(0);
    if (ended) return 1;
    long own = mainThreadAllocationsCounted(), all = allocationsCounted();
    long engine = engineAllocationsCounted();
    totals->frames++;
    totals->engineAllocations += engine;
    totals->mainAllocations += own;
    totals->allAllocations += all;
    totals->framesAllocating += engine > 0 ? 1 : 0;
    return 0;
}

static int compareFloats(const void* a, const void* b)
{
    float x = *(const float*)a, y = *(const float*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

// Nearest-rank percentile of sorted values.
static float percentile(const float* sorted, long count, double p)
{
    long rank = (long)ceil(p * (double)count);
    if (rank < 1) rank = 1;
    return sorted[rank - 1];
}

static void printRow(const char* name, const BenchSample* samples, long count, int slot, float* scratch)
{
    long n = 0;
    double sum = 0.0, cpu = 0.0;
    for (long i = 0; i < count; i++)
        if (slot < 0 || samples[i].slot == slot) {
            scratch[n++] = samples[i].ms;
            sum += samples[i].ms;
            cpu += samples[i].cpuMs;
        }
    if (n == 0) return;
    qsort(scratch, (size_t)n, sizeof(float), compareFloats);
    printf("%-6s %7ld %10.2f %9.2f %9.2f %8.1f %11.2f\n", name, n, (double)percentile(scratch, n, 0.5),
           (double)percentile(scratch, n, 0.95), sum / (double)n, 1000.0 * (double)n / sum, cpu / (double)n);
}

static void printReport(const BenchSample* samples, const BenchTotals* totals, double start)
{
    float* scratch = (float*)malloc((size_t)(totals->frames > 0 ? totals->frames : 1) * sizeof(float));
    if (!scratch) return;
    printf("bench: %dx%d, %ld frames at 1/%d s steps from %.3f s\n", windowWidth, windowHeight, totals->frames,
           BenchRate, start);
    printf("%-6s %7s %10s %9s %9s %8s %11s\n", "scene", "frames", "median ms", "p95 ms", "mean ms", "fps",
           "cpu ms mean");
    for (int slot = 1; slot < SceneSlots - 1; slot++) {
        char name[12];
        snprintf(name, sizeof name, "%d", slot);
        printRow(name, samples, totals->frames, slot, scratch);
    }
    printRow("other", samples, totals->frames, 0, scratch);
    printRow("all", samples, totals->frames, -1, scratch);
    free(scratch);
    double frames = totals->frames > 0 ? (double)totals->frames : 1.0;
    if (allocationCountingAvailable())
        printf("heap allocations per frame: %.2f by the engine (%ld of %ld frames allocate), "
               "%.2f on the main thread, %.2f in all threads (GL driver included)\n",
               (double)totals->engineAllocations / frames, totals->framesAllocating, totals->frames,
               (double)totals->mainAllocations / frames, (double)totals->allAllocations / frames);
    else
        printf("heap allocations per frame: not counted in this build\n");
    printf("peak RSS: %ld MB\n", peakResidentKb() / 1024);
    fflush(stdout);
}

static int firstFrameMarked;   // --runs: start-up ends once, in the first run

static int benchOnce(void)
{
    double start = runOptions.startTime;
    long limit =
        runOptions.benchSeconds > 0.0f ? (long)ceil(runOptions.benchSeconds * BenchRate - 1e-6) : (long)MaxBenchFrames;
    if (limit > MaxBenchFrames) limit = MaxBenchFrames;
    double length = knownShowLength();
    if (length >= 0.0) {   // the show's end stops the bench whatever --seconds says
        long toEnd = start < length ? (long)ceil((length - start) * BenchRate - 1e-6) : 0;
        if (toEnd < limit) limit = toEnd;
    }
    BenchSample* samples = (BenchSample*)malloc((size_t)(limit > 0 ? limit : 1) * sizeof(BenchSample));
    if (!samples) {
        logMessage("ERROR: bench has no memory for %ld frame times\n", limit);
        return 0;
    }
    BenchTotals totals = {0, 0, 0, 0, 0};
    srand(1);
    prevScene = -1;
    double began = monotonicSeconds();
    for (long i = 0; i < limit; i++) {
        if (benchFrame(start + (double)i / BenchRate, &samples[totals.frames], &totals)) break;
        if (i == 0 && !firstFrameMarked) markPhase("first frame");   // start-up ends with the first show frame drawn
        firstFrameMarked = 1;
        glfwPollEvents();
        if (glfwWindowShouldClose(mainWindow) || glfwGetKey(mainWindow, GLFW_KEY_ESCAPE) == GLFW_PRESS) break;
        if (stopSignalNumber()) break;
    }
    double seconds = monotonicSeconds() - began;
    printReport(samples, &totals, start);
    logMessage("Bench: %ld frames in %.2f s (%.1f per second), peak RSS %ld MB\n", totals.frames, seconds,
               seconds > 0.0 ? (double)totals.frames / seconds : 0.0, peakResidentKb() / 1024);
    free(samples);
    return totals.frames > 0;
}

// --runs N renders the show N times in this process; the resident memory
// after each run goes to the log, so growth from run to run shows.
int runBench(void)
{
    int runs = runOptions.benchRuns > 0 ? runOptions.benchRuns : 1;
    int rendered = 0;
    if (runOptions.hud) {   // set up before the timed frames
        showHud(1);
        prepareHud();
    }
    for (int run = 1; run <= runs; run++) {
        rendered |= benchOnce();
        logMessage("Bench run %d of %d: resident memory %ld kB\n", run, runs, residentKb());
        if (glfwWindowShouldClose(mainWindow) || stopSignalNumber()) break;
    }
    shutdownHud();
    return rendered;
}
