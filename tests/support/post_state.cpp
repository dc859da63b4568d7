// Test support: post buffers for a small window, and reading them back.
#include "support/post_state.h"
#include "post/post.h"
#include "render/render.h"

int useSceneBuffers(int width, int height)
{
    static int state = -1;
    if (state >= 0) return state;
    state = 0;
    if (!testGLContext(width, height)) return 0;
    windowWidth = width;
    windowHeight = height;
    setCameraAspect(width, height);
    engineGLState();
    initPostProcessing();
    state = sceneTarget >= 0 && fullTarget >= 0 && halfTarget >= 0;
    return state;
}

std::vector<unsigned char> readTargetPixels(int index)
{
    bindRenderTarget(index);
    std::vector<unsigned char> p = readPixels(0, 0, renderTargets[index]->width, renderTargets[index]->height);
    unbindRenderTarget(index);
    return p;
}
