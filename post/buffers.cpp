// Post buffers: the fixed pool of off-screen framebuffers (colour texture plus
// optional 16-bit depth), the bind/unbind pair that nests by remembering the
// previous framebuffer and viewport, and the start-up set sized from the window.
#include "post/post.h"
#include "platform/platform.h"
#include "render/render.h"
#include <GL/glew.h>
#include <stdlib.h>

RenderTarget* renderTargets[MaxRenderTargets];
int sceneTarget = -1, fullTarget = -1, halfTarget = -1, smallTarget = -1, extraTarget = -1;
int blurTargetA = -1, blurTargetB = -1;
int levelSource[PyramidLevels] = {-1, -1, -1, -1};
int levelBlurred[PyramidLevels] = {-1, -1, -1, -1};
int levelTemp[PyramidLevels] = {-1, -1, -1, -1};
float factorPix = 2.0f, smallDivisor = 16.0f, extraDivisor = 1.0f;

void pyramidLevelSize(int width, int height, int level, int* levelWidth, int* levelHeight)
{
    int w = width / 4, h = height / 4;
    for (int i = 0; i < level; i++) {
        w /= 2;
        h /= 2;
    }
    *levelWidth = w < 1 ? 1 : w;
    *levelHeight = h < 1 ? 1 : h;
}

// A size divided by a float divisor, truncated toward zero, at least one pixel.
static int dividedSize(int size, float divisor)
{
    int result = (int)((float)size / divisor);
    return result < 1 ? 1 : result;
}

// Returns 1 when the framebuffer is complete. An incomplete one is logged with
// its status and still usable as a name; framebuffer 0 is bound on return
// either way, so later drawing does not vanish into a broken target.
int createRenderTarget(RenderTarget* target, int width, int height, int withDepth)
{
    target->width = width;
    target->height = height;
    GLuint name = 0;
    glGenFramebuffers(1, &name);
    target->framebuffer = (int)name;
    glBindFramebuffer(GL_FRAMEBUFFER, name);
    glGetError();

    target->type = GL_UNSIGNED_BYTE;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    target->colorTexture = (int)texture;
    glBindTexture(GL_TEXTURE_2D, texture);
    target->format = GL_RGBA;
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, NULL);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);

    if (withDepth) {
        GLuint depth = 0;
        glGenRenderbuffers(1, &depth);
        target->depthBuffer = (int)depth;
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glGetError();
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
        glGetError();
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        glGetError();
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
    }

    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        logMessage("ERROR: post buffer %d x %d is incomplete (status 0x%04x)\n",
                   width, height, (unsigned)status);
        return 0;
    }
    return 1;
}

// Returns the pool index of a new buffer, or -1 (logged) when the pool is full.
int allocRenderTarget(int width, int height, int withDepth)
{
    int slot = 0;
    while (slot < MaxRenderTargets && renderTargets[slot]) slot++;
    if (slot == MaxRenderTargets) {
        logMessage("out of post buffer!");
        return -1;
    }
    RenderTarget* target = (RenderTarget*)calloc(1, sizeof(RenderTarget));
    if (!target) {
        logMessage("ERROR: no memory for a post buffer\n");
        return -1;
    }
    target->framebuffer = -1;
    target->colorTexture = -1;
    target->depthBuffer = -1;
    target->savedFramebuffer = 0;
    createRenderTarget(target, width, height, withDepth);
    renderTargets[slot] = target;
    return slot;
}

// Indices outside the pool or of empty slots are ignored: a pass whose buffer
// failed to allocate draws into whatever is bound instead of crashing.
static RenderTarget* targetAt(int index)
{
    if (index < 0 || index >= MaxRenderTargets) return NULL;
    return renderTargets[index];
}

void bindRenderTarget(int index)
{
    RenderTarget* target = targetAt(index);
    if (!target) return;
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    target->savedFramebuffer = framebuffer;
    glGetIntegerv(GL_VIEWPORT, target->savedViewport);
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target->framebuffer);
    glViewport(0, 0, target->width, target->height);
}

void unbindRenderTarget(int index)
{
    RenderTarget* target = targetAt(index);
    if (!target) return;
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target->savedFramebuffer);
    glViewport(target->savedViewport[0], target->savedViewport[1],
               target->savedViewport[2], target->savedViewport[3]);
}

// Binds the scene buffer and clears only its depth: colour a scene does not
// overdraw keeps the previous frame's pixels.
void beginSceneTarget(void)
{
    bindRenderTarget(sceneTarget);
    glClear(GL_DEPTH_BUFFER_BIT);
}

// The 19 start-up buffers from the window size, then the post shaders. Runs
// once, after the resource table has loaded; the content's own post programs
// get PosAttribute/TexAttribute bound by its owner (bindPostAttributes) next.
void initPostProcessing(void)
{
    int w = windowWidth, h = windowHeight;
    factorPix = 2.0f;
    smallDivisor = 16.0f;
    sceneTarget = allocRenderTarget(w, h, 1);
    fullTarget = allocRenderTarget(w, h, 1);
    extraDivisor = 1.0f;
    halfTarget = allocRenderTarget(dividedSize(w, factorPix), dividedSize(h, factorPix), 1);
    smallTarget = allocRenderTarget(dividedSize(w, smallDivisor), dividedSize(h, smallDivisor), 1);
    extraTarget = allocRenderTarget(dividedSize(w, extraDivisor), dividedSize(h, extraDivisor), 1);
    blurTargetA = allocRenderTarget(w, h, 0);
    blurTargetB = allocRenderTarget(w, h, 0);
    for (int level = 0; level < PyramidLevels; level++) {
        int lw, lh;
        pyramidLevelSize(w, h, level, &lw, &lh);
        levelSource[level] = allocRenderTarget(lw, lh, 0);
        levelTemp[level] = allocRenderTarget(lw, lh, 0);
        levelBlurred[level] = allocRenderTarget(lw, lh, 0);
    }
    buildPostShaders(w, h);
}
