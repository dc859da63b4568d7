// Entry point of the browser build. The page calls main with the command line
// its URL parameters make; stills and the bench run to the end inside main,
// the show runs one step per animation frame and tells the page when it is
// over (the end, Escape, a stop), which then shows its start screen again.
#include "app/hud.h"
#include "app/loop.h"
#include "app/offline.h"
#include "app/options.h"
#include "app/phases.h"
#include "app/preflight.h"
#include "app/present.h"
#include "app/web/web.h"
#include "platform/platform.h"
#include "sync/sync.h"
#include <GLFW/glfw3.h>
#include <emscripten.h>
#include <stdlib.h>

EM_JS(void, pageShowEnded, (void), {
    if (Module.kestrelShowEnded) Module.kestrelShowEnded();
});

// The browser's GLFW has no sticky keys: an Escape pressed and released
// between two frames would be missed by the loop's key poll, so its press is
// caught here (the engine's own key callback still gets every key).
static GLFWkeyfun engineKeys;
static void onPageKey(GLFWwindow* window, int key, int scancode, int action, int mods)
{
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS) glfwSetWindowShouldClose(window, 1);
    if (engineKeys) engineKeys(window, key, scancode, action, mods);
}

// One animation frame: the step, then the presented picture back on the
// canvas when the step only added to the sum.
static void animationFrame(void)
{
    if (stepShowFrame()) {
        if (presentState.accumFrames > 0) keepShownPicture();
        return;
    }
    emscripten_cancel_main_loop();
    shutdownHud();
    logRunSummary();
    stopMusic();
    logGLDebugSummary();
    pageShowEnded();
}

int main(int argc, char** argv)
{
    // The page runs without threads (which would need cross-origin isolation
    // headers from its server): the loader reads every file on this thread.
    setenv("KESTREL_LOAD_WORKERS", "0", 1);
    int run = parseCommandLine(argc, argv);
    if (run < 0) return ExitUsage;
    if (run == 0) return ExitOk;
    int early = prepareRun();
    if (early >= 0) return early;
    int started = startDemo();
    if (started <= 0) return ExitFailure;
    if (runOptions.shotCount > 0 || runOptions.bench) {
        int ok = runOptions.bench ? runBench() : renderStills() == 0;
        logGLDebugSummary();
        return ok ? ExitOk : ExitFailure;
    }
    if (runOptions.hud) showHud(1);
    engineKeys = glfwSetKeyCallback(mainWindow, onPageKey);
    emscripten_set_main_loop(animationFrame, 0, 0);
    return ExitOk;
}
