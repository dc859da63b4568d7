// Following the window: the framebuffer size is watched at every poll and the
// post buffers and the frame accumulation are remade once it has settled; the
// memory budget and GL limits a frame size must meet; full screen on F11 and
// Alt+Enter.
#include "app/present.h"
#include "app/window.h"
#include "platform/platform.h"
#include "post/post.h"
#include "render/render.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stdio.h>

// ---- sizes a frame may have ------------------------------------------------------------

uint64_t frameSizeBytes(int width, int height)
{
    return postBufferBytes(width, height) + accumulationBytes(width, height);
}

int frameSizeFitsBudget(int width, int height)
{
    return width > 0 && height > 0 && frameSizeBytes(width, height) <= FrameBudgetBytes;
}

const char* frameSizeLimitProblem(int width, int height, const FrameSizeLimits* limits)
{
    if (width > limits->viewportWidth || height > limits->viewportHeight) return "GL_MAX_VIEWPORT_DIMS";
    if (width > limits->textureSize || height > limits->textureSize) return "GL_MAX_TEXTURE_SIZE";
    if (width > limits->renderbufferSize || height > limits->renderbufferSize) return "GL_MAX_RENDERBUFFER_SIZE";
    return nullptr;
}

// The limits of the current context.
static FrameSizeLimits contextLimits(void)
{
    GLint viewport[2] = {0, 0}, texture = 0, renderbuffer = 0;
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    FrameSizeLimits limits = {viewport[0], viewport[1], texture, renderbuffer};
    return limits;
}

// Writes why the current context cannot hold a W x H frame into text, or
// returns 0 when it can.
static int contextRefuses(int width, int height, char* text, int capacity)
{
    FrameSizeLimits limits = contextLimits();
    const char* limit = frameSizeLimitProblem(width, height, &limits);
    if (!limit) return 0;
    snprintf(text, (size_t)capacity,
             "%d x %d is beyond this GL's limits (%s: viewport %d x %d, texture %d, renderbuffer %d)", width, height,
             limit, limits.viewportWidth, limits.viewportHeight, limits.textureSize, limits.renderbufferSize);
    return 1;
}

int refuseUnfitFrameSize(int width, int height, int contextMade)
{
    char text[256];
    int refused = 0;
    if (!frameSizeFitsBudget(width, height)) {
        snprintf(text, sizeof text, "%d x %d needs %.1f MiB of frame buffers, more than the %llu MiB budget", width,
                 height, (double)frameSizeBytes(width, height) / (1024.0 * 1024.0),
                 (unsigned long long)(FrameBudgetBytes >> 20));
        refused = 1;
    } else if (contextMade) {
        refused = contextRefuses(width, height, text, (int)sizeof text);
    }
    if (!refused) return 0;
    logMessage("ERROR: window: %s; the show does not start\n", text);
    return 1;
}

// ---- following the framebuffer size ------------------------------------------------------

int sizeSettled(SizeWatch* watch, int width, int height, double now)
{
    if (width != watch->seenWidth || height != watch->seenHeight) {
        watch->seenWidth = width;
        watch->seenHeight = height;
        watch->stablePolls = 0;
        watch->since = now;
        return 0;
    }
    watch->stablePolls++;
    if (width == watch->madeWidth && height == watch->madeHeight) return 0;
    return watch->stablePolls >= SettlePolls && now - watch->since >= SettleSeconds;
}

static SizeWatch windowWatch;

// Remakes the post buffers and the accumulation for W x H, or keeps the old
// ones (logged) when the size does not fit the budget or the GL limits. The
// size counts as handled either way, so a refused size is not retried.
static void followFrameSize(int width, int height)
{
    windowWatch.madeWidth = width;
    windowWatch.madeHeight = height;
    char text[256];
    if (!frameSizeFitsBudget(width, height) || contextRefuses(width, height, text, (int)sizeof text)) {
        logMessage("window: %d x %d is refused (budget or GL limits); the post buffers stay %d x %d\n", width, height,
                   postWidth, postHeight);
        return;
    }
    int complete = resizePostProcessing(width, height);
    setAccumulationSize(width, height);
    logMessage("window: post buffers and accumulation follow the framebuffer: %d x %d%s\n", width, height,
               complete ? "" : " (a buffer is incomplete)");
}

// F11 and Alt+Enter, each acting once per press (sticky keys keep a press
// between two polls visible).
static int fullscreenKeyPressed(void)
{
    static int wasDown;
    int enter = glfwGetKey(mainWindow, GLFW_KEY_ENTER) == GLFW_PRESS;
    int alt = glfwGetKey(mainWindow, GLFW_KEY_LEFT_ALT) == GLFW_PRESS ||
              glfwGetKey(mainWindow, GLFW_KEY_RIGHT_ALT) == GLFW_PRESS;
    int down = glfwGetKey(mainWindow, GLFW_KEY_F11) == GLFW_PRESS || (enter && alt);
    int pressed = down && !wasDown;
    wasDown = down;
    return pressed;
}

void followWindow(void)
{
    if (!mainWindow) return;
    if (fullscreenKeyPressed()) {
        int on = !fullscreen;
        if (setWindowFullscreen(on)) logMessage("window: %s\n", on ? "full screen" : "back in a window");
    }
    if (windowWatch.madeWidth == 0) {
        windowWatch.madeWidth = postWidth;
        windowWatch.madeHeight = postHeight;
    }
    int width, height;
    if (!windowFramebufferSize(&width, &height)) return;   // minimised: keep everything
    if (postWidth > 0 && sizeSettled(&windowWatch, width, height, monotonicSeconds())) followFrameSize(width, height);
}

// The driver gives the window's buffers their new size at a swap: a still
// read back before any swap would keep the old size's pixels. Two cleared
// frames are presented, as a live resize presents frames.
static void presentClearedFrames(void)
{
    for (int i = 0; i < 2; i++) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glfwSwapBuffers(mainWindow);
    }
}

// The window is asked for the size, then events are polled until the
// framebuffer has it and has settled (at most five seconds).
int applyResizeRequest(int width, int height)
{
    if (width <= 0 || height <= 0 || !mainWindow) return 1;
    glfwSetWindowSize(mainWindow, width, height);
    double until = monotonicSeconds() + 5.0;
    while (monotonicSeconds() < until) {
        glfwPollEvents();
        followWindow();
        if (postWidth == width && postHeight == height) {
            presentClearedFrames();
            return 1;
        }
        glfwWaitEventsTimeout(0.01);
    }
    logMessage("window: the window did not reach %d x %d (it is %d x %d)\n", width, height, postWidth, postHeight);
    return 0;
}
