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

// Returns 1 when the show can run, 0 when the window could not be made
// (GLFW failure, cancelled dialog); nothing after the window runs then.
int startDemo(void)
{
    demoConfig = &builtinConfig;
    activeResourceTable = resourceTable;
    if (!initWindow()) return 0;
    loadResources();   // every resource with the loading screen, then the data hook
    initSync();
    initPostProcessing();
    // Stills (runOptions.shotCount > 0) play no music. With --start the music
    // seeks to the start time and the clock is set back by the same amount.
    if (runOptions.shotCount == 0) startSoundtrack(runOptions.startTime);
    startTick = tickCount() - (uint32_t)lroundf(runOptions.startTime * 1000.0f);
    return 1;
}

// One poll before the first frame, then frame and poll until either says stop.
int runMainLoop(void)
{
    if (pollFrame()) return 0;
    for (;;) {
        if (dispatchScene()) return 0;
        if (pollFrame()) return 0;
    }
}

// Releases what start-up made and ends the process with exit code 0.
void shutdownDemo(void)
{
    stopMusic();
    releaseResources();
    glfwTerminate();
    exit(0);
}
