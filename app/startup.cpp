// Start-up, the frame loop and shutdown: the order in which the subsystems
// are brought up, driven and released. Steps that other subsystems provide
// are marked where they go.
#include "app/app.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "post/post.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <math.h>
#include <stdlib.h>

// The configuration's data hook, run by loadResources, timed as a phase of
// its own: the loading before it ends the "resources" phase.
static void (*configuredDataHook)(void);

static void timedDataHook(void)
{
    markPhase("resources");
    if (configuredDataHook) configuredDataHook();
    markPhase("data hook");
}

// Returns 1 when the show can run, 0 when the window could not be made
// (GLFW failure, no GL context), -1 when the dialog was cancelled; nothing
// after the window runs then. prepareRun has set the data directory.
// Each phase's time and the peak memory after it go to the log.
int startDemo(void)
{
    beginPhases();
    demoConfig = &builtinConfig;
    activeResourceTable = resourceTable;
    setDataDirectory(builtinConfig.dataDir);
    int window = initWindow();
    if (window <= 0) return window;
    logRunSettings();
    markPhase("window");
    configuredDataHook = demoConfig->dataHook;
    demoConfig->dataHook = timedDataHook;
    setGLDebugPhase("loading", -1);
    loadResources();   // every resource with the loading screen, then the data hook
    checkGLErrors();
    demoConfig->dataHook = configuredDataHook;
    initSync();
    markPhase("sync");
    setGLDebugPhase("post set-up", -1);
    initPostProcessing();
    bindShowPostPrograms();
    checkGLErrors();
    markPhase("post buffers");
    applyResizeRequest();
    // Stills, capture and bench play no music. With --start the music seeks
    // to the start time and the clock is set back by the same amount.
    if (!isOfflineRun()) startSoundtrack(runOptions.startTime);
    markPhase("music");
    startTick = tickCount() - (uint32_t)lroundf(runOptions.startTime * 1000.0f);
    return 1;
}

// One poll before the first frame, then frame and poll until either says
// stop or the show's length is reached; the summary of frames rendered and presented goes to the log.
int runMainLoop(void)
{
    if (runOptions.edit) {
        startLiveEdit(runOptions.editSources[0] ? runOptions.editSources : nullptr);
        showHud(1);
    }
    if (runOptions.hud) showHud(1);
    int stop = pollFrame();
    while (!stop) {
        // While paused the grain stands still too, so the picture does.
        ShowFrame frame = showFrameAt(frameTime, frameDelta, transport.paused ? 0 : framePresented);
        int ended = drawShowFrame(&frame);
        // A start just before the end can step over the scene change that
        // ends the show: its known length ends it as well.
        if (!ended && showLength >= 0.0 && frameTime >= showLength) ended = 1;
        if (ended && !restartShowForLoop()) {
            if (!runOptions.edit) break;
            // An author at the end stays there, paused on the last frame.
            transportSeek(frameTime);
            transportPause(1);
        }
        pollLiveEdit();
        hudNoteFrame();
        stop = pollFrame();
        countLoopFrame(framePresented);
    }
    stopLiveEdit();
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
