// Test support: the show's data loaded once, as start-up loads it.
#include "support/show_data.h"
#include "show/show_local.h"
#include <GL/glew.h>
#include <unistd.h>

int loadShowData(int width, int height)
{
    static int state = -1;
    if (state >= 0) return state;
    state = 0;
    if (!useSceneBuffers(width, height)) return 0;
    if (chdir(KESTREL_BINARY_DIR) != 0) return 0;
    const char* needed[] = {"data/jug.baf", "data/env.fs", "data/rod.baf", "data/car.fs", "data/lomofi.fs"};
    for (const char* name : needed)
        if (access(name, R_OK) != 0) return 0;
    demoConfig = &builtinConfig;
    activeResourceTable = resourceTable;
    loadResourceTable(activeResourceTable, nullptr);
    demoConfig->dataHook();
    bindShowPostPrograms();
    gradingSources = GradingSources{progLomofi, texGrain, texLeak, texDirt, 1.0f, 0};
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    state = 1;
    return 1;
}
