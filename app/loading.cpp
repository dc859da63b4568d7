// The loading screen: the active resource table loaded row by row with a
// progress bar drawn after each row, then the configuration's data hook,
// each timed as a start-up phase.
#include "app/loading.h"
#include "app/phases.h"
#include "app/present.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <stdlib.h>

// The bar of a row is shown by the next presentFrame (that one decides whether to swap).
static void drawLoadingScreen(float progress)
{
    const int noTexture[1] = {0};
    presentFrame(ClockNotRunning);
    glClear(GL_COLOR_BUFFER_BIT);
    drawOverlayQuad(noTexture, progress * 0.5f, 0.33f, progress, 0.01f, 1, 0xffeeaaffu, Opaque, -1);
    drawLetterbox();
}

// KESTREL_LOAD_WORKERS (0, 1 or 2) overrides how many threads read files ahead
// of the GL work; other values are ignored.
static void chooseLoadWorkers(void)
{
    const char* text = getenv("KESTREL_LOAD_WORKERS");
    if (text && text[0] >= '0' && text[0] <= '2' && !text[1]) resourceLoadWorkers = text[0] - '0';
}

void loadResources(void)
{
    chooseLoadWorkers();
    loadResourceTable(activeResourceTable, drawLoadingScreen);
    markPhase("resources");
    if (demoConfig && demoConfig->dataHook) demoConfig->dataHook();
    markPhase("data hook");
    logMessage("data processing complete!\n");
    logMessage(" --------------------------------------------------\n");
}
