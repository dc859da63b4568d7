// Post buffers: the fixed pool of off-screen framebuffers (colour texture plus
// optional 16-bit depth), the bind/unbind pair that nests by remembering the
// previous framebuffer and viewport, and the set sized from the window (made
// at start-up, remade in place when the window's size changes).
#include "post/post.h"
#include "platform/platform.h"
#include "render/render.h"
#include <GL/glew.h>
#include <stdlib.h>

RenderTarget* renderTargets[MaxRenderTargets];
int sceneTarget = -1, fullTarget = -1, halfTarget = -1, smallTarget = -1, extraTarget = -1;
int blurTargetA = -1, blurTargetB = -1;
int pyramidBase = -1;
int pyramidFade = -1, pyramidRows = -1, pyramidBlurred = -1;
int postWidth, postHeight;
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

// Level L's size from level 0's: halved L times, never below one pixel (the
// same sizes pyramidLevelSize gives from the window's).
static void halvedLevelSize(int baseWidth, int baseHeight, int level, int* w, int* h)
{
    *w = baseWidth;
    *h = baseHeight;
    for (int i = 0; i < level; i++) {
        *w = *w / 2 < 1 ? 1 : *w / 2;
        *h = *h / 2 < 1 ? 1 : *h / 2;
    }
}

void pyramidAtlasRegion(int baseWidth, int baseHeight, int level, int region[4])
{
    if (level < 0) level = 0;
    if (level >= PyramidLevels) level = PyramidLevels - 1;
    region[0] = region[1] = 0;
    halvedLevelSize(baseWidth, baseHeight, level, &region[2], &region[3]);
    if (level == 0) return;
    region[1] = baseHeight;
    for (int before = 1; before < level; before++) {
        int w, h;
        halvedLevelSize(baseWidth, baseHeight, before, &w, &h);
        region[0] += w;
    }
}

void pyramidAtlasSize(int baseWidth, int baseHeight, int* atlasWidth, int* atlasHeight)
{
    int level1[4], last[4];
    pyramidAtlasRegion(baseWidth, baseHeight, 1, level1);
    pyramidAtlasRegion(baseWidth, baseHeight, PyramidLevels - 1, last);
    int right = last[0] + last[2];
    *atlasWidth = baseWidth > right ? baseWidth : right;
    *atlasHeight = baseHeight + level1[3];
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
        logMessage("ERROR: post buffer %d x %d is incomplete (status 0x%04x)\n", width, height, (unsigned)status);
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

int colorTextureOf(int index)
{
    RenderTarget* target = targetAt(index);
    return target ? target->colorTexture : -1;
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
    glViewport(target->savedViewport[0], target->savedViewport[1], target->savedViewport[2], target->savedViewport[3]);
}

// Binds the scene buffer and clears only its depth: colour a scene does not
// overdraw keeps the previous frame's pixels.
void beginSceneTarget(void)
{
    bindRenderTarget(sceneTarget);
    glClear(GL_DEPTH_BUFFER_BIT);
}

// ---- the start-up set -------------------------------------------------------------
// Every buffer the post chain uses, in the order they are allocated: the
// global that holds its pool index, the divisor of the frame's size (each
// side is the frame's side divided by it, truncated, at least one pixel) and
// whether it has depth; the two atlas rows take pyramidAtlasSize instead.
// Allocation, the resize and the memory count all read this list. Pyramid
// level 0 divides by 4: the size pyramidLevelSize gives the blur shaders.
struct PostBuffer {
    int* slot;
    const float* divisor;
    int depth;
    int atlas;
};
static const float wholeFrame = 1.0f;
static const float levelDivisor = 4.0f;
static const PostBuffer postBuffers[] = {
    {&sceneTarget, &wholeFrame, 1, 0},   {&fullTarget, &wholeFrame, 1, 0},     {&halfTarget, &factorPix, 1, 0},
    {&smallTarget, &smallDivisor, 1, 0}, {&extraTarget, &extraDivisor, 1, 0},  {&blurTargetA, &wholeFrame, 0, 0},
    {&blurTargetB, &wholeFrame, 0, 0},   {&pyramidBase, &levelDivisor, 0, 0},  {&pyramidFade, &levelDivisor, 0, 0},
    {&pyramidRows, &wholeFrame, 0, 1},   {&pyramidBlurred, &wholeFrame, 0, 1},
};
enum { PostBufferCount = sizeof postBuffers / sizeof postBuffers[0] };
static_assert(PostBufferCount == 11, "a buffer row for every post buffer");

// The divisors the set is made with; scenes read them as uniforms.
static void resetPostDivisors(void)
{
    factorPix = 2.0f;
    smallDivisor = 16.0f;
    extraDivisor = 1.0f;
}

static void postBufferSize(const PostBuffer* buffer, int w, int h, int* bw, int* bh)
{
    if (buffer->atlas) {
        int baseWidth, baseHeight;
        pyramidLevelSize(w, h, 0, &baseWidth, &baseHeight);
        pyramidAtlasSize(baseWidth, baseHeight, bw, bh);
        return;
    }
    *bw = dividedSize(w, *buffer->divisor);
    *bh = dividedSize(h, *buffer->divisor);
}

uint64_t postBufferBytes(int width, int height)
{
    if (width < 1 || height < 1) return 0;
    float saved[3] = {factorPix, smallDivisor, extraDivisor};
    resetPostDivisors();
    uint64_t total = 0;
    for (const PostBuffer& buffer : postBuffers) {
        int bw, bh;
        postBufferSize(&buffer, width, height, &bw, &bh);
        total += (uint64_t)bw * (uint64_t)bh * (buffer.depth ? 4 + 2 : 4);   // RGBA8, DEPTH_COMPONENT16
    }
    factorPix = saved[0];
    smallDivisor = saved[1];
    extraDivisor = saved[2];
    return total;
}

// The 11 start-up buffers from the window size, then the post shaders. Runs
// once, after the resource table has loaded; the content's own post programs
// get PosAttribute/TexAttribute bound by its owner (bindPostAttributes) next.
void initPostProcessing(void)
{
    int w = windowWidth, h = windowHeight;
    resetPostDivisors();
    for (const PostBuffer& buffer : postBuffers) {
        int bw, bh;
        postBufferSize(&buffer, w, h, &bw, &bh);
        *buffer.slot = allocRenderTarget(bw, bh, buffer.depth);
    }
    postWidth = w;
    postHeight = h;
    buildPostShaders(w, h);
}

// Deletes the GL objects of a buffer and clears their names; the record stays.
static void releaseTargetObjects(RenderTarget* target)
{
    GLuint framebuffer = (GLuint)target->framebuffer, texture = (GLuint)target->colorTexture;
    GLuint depth = (GLuint)target->depthBuffer;
    if (target->framebuffer > 0) glDeleteFramebuffers(1, &framebuffer);
    if (target->colorTexture > 0) glDeleteTextures(1, &texture);
    if (target->depthBuffer > 0) glDeleteRenderbuffers(1, &depth);
    target->framebuffer = -1;
    target->colorTexture = -1;
    target->depthBuffer = -1;
}

// Every buffer keeps its pool slot and record: its GL objects are deleted and
// made again at the new size, so nothing leaks however often the window
// changes. A slot that failed at start-up is allocated now.
int resizePostProcessing(int width, int height)
{
    if (width < 1 || height < 1) return 0;
    resetPostDivisors();
    int complete = 1;
    for (const PostBuffer& buffer : postBuffers) {
        int bw, bh;
        postBufferSize(&buffer, width, height, &bw, &bh);
        RenderTarget* target = targetAt(*buffer.slot);
        if (!target) {
            *buffer.slot = allocRenderTarget(bw, bh, buffer.depth);
            complete = complete && *buffer.slot >= 0;
            continue;
        }
        releaseTargetObjects(target);
        complete = createRenderTarget(target, bw, bh, buffer.depth) && complete;
    }
    postWidth = width;
    postHeight = height;
    releaseBlurShaders();
    rebuildBlurShaders(width, height);
    return complete;
}
