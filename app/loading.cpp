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

// ---- state: the loading screen ----------------------------------------------------
// When the bar was last presented in this load (-1: not yet).
static double barShownAt = -1.0;
// A present at a large size is a full-window draw and a copy of the software
// GL's back buffer to the display: presenting every one of the show's rows
// took about a third of its loading time. A new bar waits this long after
// the previous one (the first and the full bar go out at once).
static const double barInterval = 1.0 / 30.0;

// Draws and presents the bar of the rows done when it is due; the first bar
// on screen ends the start-up phase "loading bar".
static void drawLoadingScreen(float progress)
{
    double now = monotonicSeconds();
    if (barShownAt >= 0.0 && progress < 1.0f && now - barShownAt < barInterval) return;
    const int noTexture[1] = {0};
    glClear(GL_COLOR_BUFFER_BIT);
    drawOverlayQuad(noTexture, progress * 0.5f, 0.33f, progress, 0.01f, 1, 0xffeeaaffu, Opaque, -1);
    drawLetterbox();
    presentFrame(ClockNotRunning);
    if (barShownAt < 0.0) notePhaseEnd("loading bar");
    barShownAt = monotonicSeconds();
}

// KESTREL_LOAD_WORKERS (0, 1 or 2) overrides how many threads read files ahead
// of the GL work; other values are ignored.
static void chooseLoadWorkers(void)
{
    const char* text = getenv("KESTREL_LOAD_WORKERS");
    if (text && text[0] >= '0' && text[0] <= '2' && !text[1]) resourceLoadWorkers = text[0] - '0';
}

void startLoadingFiles(void)
{
    chooseLoadWorkers();
    startResourceReads(activeResourceTable, resourceLoadWorkers);
}

void loadResources(void)
{
    chooseLoadWorkers();
    barShownAt = -1.0;
    loadResourceTable(activeResourceTable, drawLoadingScreen);
    markPhase("resources");
    if (demoConfig && demoConfig->dataHook) demoConfig->dataHook();
    markPhase("data hook");
    logMessage("data processing complete!\n");
    logMessage(" --------------------------------------------------\n");
}
