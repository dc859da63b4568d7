// Start-up, the frame loop and shutdown: the order in which the subsystems
// are brought up, driven and released, and the one-frame step both the
// desktop loop and a host's own loop call.
#include "app/editor.h"
#include "app/hud.h"
#include "app/keyboard.h"
#include "app/live.h"
#include "app/loading.h"
#include "app/loop.h"
#include "app/options.h"
#include "app/phases.h"
#include "app/preflight.h"
#include "app/present.h"
#include "app/signals.h"
#include "app/transport.h"
#include "app/window.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "post/post.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stdlib.h>

// ---- state: the loop -------------------------------------------------------------
// The frame on screen (drawn last; empty before the first draw), whether it
// was presented, the clock's reading for the next frame, and whether the
// first poll ran.
struct LoopState {
    ShowFrame shown;
    int presented;
    ClockReading next;
    int polled;
};
static LoopState loop = {{0.0f, ClockNotRunning, 0, {}}, 0, {0.0f, ClockNotRunning}, 0};

int startDemo(void)
{
    beginPhases();
    demoConfig = &builtinConfig;
    activeResourceTable = resourceTable;
    setDataDirectory(builtinConfig.dataDir);
    const RunOptions* o = &runOptions;
    WindowRequest request = {o->width, o->height, o->fullscreen, o->glDebug, o->vsyncOff};
    beginLoadingHeap();    // before the loading threads start: they share its heap
    startLoadingFiles();   // the files decode while the window and the GL driver come up
    int window = initWindow(&request);
    if (window <= 0) {
        stopResourceReads();
        endLoadingHeap();
        return window;
    }
    logRunSettings();
    markPhase("window");
    setGLDebugPhase("loading", -1);
    loadResources();   // every resource with the loading screen, then the data hook
    checkGLErrors();
    initSync();
    markPhase("sync");
    setGLDebugPhase("post set-up", -1);
    initPostProcessing();
    bindShowPostPrograms();
    checkGLErrors();
    endLoadingHeap();   // the frames allocate as the run's settings say
    markPhase("post buffers");
    applyResizeRequest(o->resizeWidth, o->resizeHeight);
    // Stills, capture and bench play no music. With --start the music seeks
    // to the start time and the clock is set back by the same amount.
    if (!isOfflineRun()) startSoundtrack(o->startTime);
    markPhase("music");
    startShowClock(o->startTime);
    return 1;
}

// With --loop: music and clock back to 0 at the show's end (logged), returns
// 1; without it returns 0 and the show ends.
static int restartShowForLoop(void)
{
    static int rounds = 1;
    if (!runOptions.loop) return 0;
    rounds++;
    logMessage("loop: the show starts again (round %d)\n", rounds);
    stopMusic();
    if (!isOfflineRun()) startSoundtrack(0.0f);
    restartShowClock(0.0f);
    return 1;
}

// Events (keys act on the frame on screen), the present of the frame just
// drawn (with the display over it), Escape, the window's size, then the
// clock's reading for the next frame. Returns 1 when the run should stop.
static int pollFrame(void)
{
    glfwPollEvents();
    applyFrameKeys(&loop.shown);
    setGLDebugPhase("present", -1);
    loop.presented = finishFrame(loop.shown.delta);
    if (loop.presented) {
        drawHudOverFrame(&loop.shown, 1);
        swapFrame();
    }
    checkGLErrors();
    if (glfwGetKey(mainWindow, GLFW_KEY_ESCAPE) == GLFW_PRESS && !trackEditorHoldsEscape())
        glfwSetWindowShouldClose(mainWindow, 1);
    if (glfwWindowShouldClose(mainWindow) && trackEditorHoldsQuit()) glfwSetWindowShouldClose(mainWindow, 0);
    followWindow();
    loop.next = readShowClock();
    return glfwWindowShouldClose(mainWindow) || stopSignalNumber();
}

// The show's end: the timeline says so, or (a start just before the end can
// step over the scene change that ends the show) its known length is reached.
static int showIsOver(int ended, float time)
{
    double length = knownShowLength();
    return ended || (length >= 0.0 && time >= length);
}

int stepShowFrame(void)
{
    if (!loop.polled) {
        loop.polled = 1;
        if (pollFrame()) return 0;
    }
    // While paused the grain stands still too, so the picture does.
    int grainMovesOn = transportState()->paused ? 0 : loop.presented;
    loop.shown = showFrameAt(loop.next.time, loop.next.delta, grainMovesOn);
    int ended = drawShowFrame(&loop.shown);
    if (showIsOver(ended, loop.shown.time) && !restartShowForLoop()) {
        if (!runOptions.edit) return 0;
        // An author at the end stays there, paused on the last frame.
        transportSeek(loop.shown.time);
        transportPause(1);
    }
    pollLiveEdit(&loop.shown);
    hudNoteFrame(&loop.shown);
    trackEditorFollow(&loop.shown);
    int stop = pollFrame();
    countLoopFrame(loop.presented);
    return !stop;
}

int runMainLoop(void)
{
    if (runOptions.edit) {
        startLiveEdit(runOptions.editSources[0] ? runOptions.editSources : nullptr);
        startTrackEditor(runOptions.editSources[0] ? runOptions.editSources : nullptr);
        showHud(1);
    }
    if (runOptions.hud) showHud(1);
    while (stepShowFrame()) {}
    stopLiveEdit();
    stopTrackEditor();
    shutdownHud();
    logRunSummary();
    return 0;
}

// Releases what start-up made and ends the process with code.
void shutdownDemo(int code)
{
    stopMusic();
    setGLDebugPhase("shutdown", -1);
    releaseResources();
    logGLDebugSummary();
    glfwTerminate();
    exit(code);
}
