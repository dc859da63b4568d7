// Frame presentation: the off-screen accumulation that averages every frame
// rendered between two presents (about 24 presents a second) in a float
// texture, and the rule that decides when a present is due.
#include "app/present.h"
#include "app/present_gl.h"
#include "platform/platform.h"
#include "render/render.h"
#include <GL/glew.h>

PresentState presentState = {0, 0.0f, 0.0f, 0, -1.0f};

// GL objects of the accumulation: the sum texture (float) behind its
// framebuffer, the copy of the finished frame, and the program that draws a
// texture times a scale over the whole viewport.
static GLuint accumTexture, accumFramebuffer, frameTexture, blitProgram;
static GLint blitScaleLocation = -1;
static int accumWidth, accumHeight;
static int wantedWidth, wantedHeight;   // the size to follow; 0 until the first frame
static int accumReady = -1;             // -1 not tried, 0 unavailable (logged once), 1 ready
static int sumHoldsFrames;              // 1 once a frame was added since the last resolve

static void makeTexture(GLuint texture, GLint internalFormat, GLenum type, int width, int height)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, GL_RGBA, type, nullptr);
}

// (Re)makes the sum texture at the given size, RGBA32F or else RGBA16F, and
// clears it. Returns 1 when a complete framebuffer is ready.
static int sizeAccumulation(int width, int height)
{
    makeTexture(frameTexture, FrameCopyFormat, GL_UNSIGNED_BYTE, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, accumFramebuffer);
    GLenum status = GL_FRAMEBUFFER_UNSUPPORTED;
    for (int i = 0; i < SumFormatCount && status != GL_FRAMEBUFFER_COMPLETE; i++) {
        makeTexture(accumTexture, SumFormats[i], GL_FLOAT, width, height);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, accumTexture, 0);
        status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    }
    if (status != GL_FRAMEBUFFER_COMPLETE) return 0;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    accumWidth = width;
    accumHeight = height;
    return 1;
}

uint64_t accumulationBytes(int width, int height)
{
    if (width < 1 || height < 1) return 0;
    return (uint64_t)width * (uint64_t)height * (16 + 4);   // RGBA32F sum + RGBA8 frame copy
}

void setAccumulationSize(int width, int height)
{
    wantedWidth = width;
    wantedHeight = height;
}

static int prepareAccumulation(int width, int height)
{
    if (accumReady == 0) return 0;
    if (accumReady == -1) {
        accumReady = 0;
        if (!framebuffersAvailable()) {
            logMessage("ERROR: frame accumulation needs OpenGL 2.0 and framebuffer objects\n");
            return 0;
        }
        blitProgram = buildBlitProgram(&blitScaleLocation);
        if (!blitProgram) return 0;
        glGenTextures(1, &accumTexture);
        glGenTextures(1, &frameTexture);
        glGenFramebuffers(1, &accumFramebuffer);
        accumReady = 1;
    }
    if (width == accumWidth && height == accumHeight) return 1;
    if (sizeAccumulation(width, height)) return 1;
    logMessage("ERROR: no float framebuffer for frame accumulation\n");
    accumReady = 0;
    return 0;
}

// Draws the bound texture over the whole viewport, times scale.
static void drawTexturedViewport(float scale)
{
    glUseProgram(blitProgram);
    glUniform1f(blitScaleLocation, scale);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    drawViewportQuad();
}

// Adds the back buffer into the sum with the given weight. The sum has the
// size followWindow last set (the first frame's size before that); a frame
// of another size, during a drag, is left alone in the back buffer. A new
// size drops the old sum: the frame then starts afresh with weight 1.
static void addFrameToSum(float weight)
{
    PresentState* s = &presentState;
    int width, height;
    if (!windowFramebufferSize(&width, &height)) return;
    if (wantedWidth == 0) setAccumulationSize(width, height);
    if (width != wantedWidth || height != wantedHeight) return;
    int resized = width != accumWidth || height != accumHeight;
    SavedGLState saved;
    saveGLState(&saved);
    if (!prepareAccumulation(width, height)) {
        restoreGLState(&saved);
        return;
    }
    if (resized) {
        s->accumFrames = 1;
        s->accumWeight = 1.0f;
        weight = 1.0f;
    }
    bindBackBufferForReading();
    glBindTexture(GL_TEXTURE_2D, frameTexture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, accumFramebuffer);
    glViewport(0, 0, width, height);
    glEnable(GL_BLEND);
    glBlendColor(weight, weight, weight, weight);
    glBlendFunc(GL_CONSTANT_COLOR, GL_ONE);   // sum += frame × weight
    drawTexturedViewport(1.0f);
    restoreGLState(&saved);
    sumHoldsFrames = 1;
}

// Counts the frame: weight 1 / accumFrames, added to accumWeight. Returns the weight.
static float countFrame(void)
{
    PresentState* s = &presentState;
    s->accumFrames += 1;
    float weight = (float)(1.0 / s->accumFrames);
    s->accumWeight += weight;
    return weight;
}

int accumulateFrame(void)
{
    addFrameToSum(countFrame());
    return presentState.accumFrames;
}

int resolveFrame(void)
{
    PresentState* s = &presentState;
    int width, height;
    int drawn = 0;
    if (sumHoldsFrames && s->accumWeight > 0.0f && windowFramebufferSize(&width, &height) && accumReady == 1 &&
        width == accumWidth && height == accumHeight) {
        SavedGLState saved;
        saveGLState(&saved);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, width, height);
        glDisable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, accumTexture);
        drawTexturedViewport((float)(1.0f / s->accumWeight));   // sum × 1 / (sum of weights)
        glBindFramebuffer(GL_FRAMEBUFFER, accumFramebuffer);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        restoreGLState(&saved);
        drawn = 1;
    }
    sumHoldsFrames = 0;
    if (s->framesPerPresent == -1.0f) s->framesPerPresent = (float)s->accumFrames;
    s->accumWeight = 0.0f;
    s->accumFrames = 0;
    return drawn;
}

// Measures the render rate over windows of 1/24 s and smooths it into
// framesPerPresent; before the clock runs delta is -1, so every call presents.
static int presentDue(float delta)
{
    PresentState* s = &presentState;
    if (s->rateClock < 0.0f) s->rateClock = 0.0f;
    s->rateClock += delta;
    if (s->rateClock > 0.0f) {
        s->rateFrames += 1;
        if (s->rateClock > 1.0f / 24.0f) {
            if (s->framesPerPresent == -1.0f)
                s->framesPerPresent = (float)s->rateFrames;
            else
                s->framesPerPresent = (float)(0.3f * (double)s->rateFrames + 0.7f * (double)s->framesPerPresent);
            s->rateFrames = 0;
            s->rateClock = 0.0f;
        }
    }
    return s->framesPerPresent < (float)s->accumFrames || s->rateClock < 0.0f;
}

int finishFrame(float delta)
{
    float weight = countFrame();
    glClear(GL_DEPTH_BUFFER_BIT);
    int due = presentDue(delta);
    if (due && presentState.accumFrames == 1 && !sumHoldsFrames) {
        // One frame alone: its average is the frame itself, already in the
        // back buffer (every start-up present and loading-screen step).
        resolveFrame();
        return 1;
    }
    addFrameToSum(weight);
    if (!due) return 0;
    resolveFrame();
    return 1;
}

void swapFrame(void) { showBackBuffer(); }

int presentFrame(float delta)
{
    if (!finishFrame(delta)) return 0;
    swapFrame();
    return 1;
}
