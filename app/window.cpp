// Setting up the show's window: the display-mode choice (dialog or command
// line), the window and GL context (platform), the GL report in the log, the
// fixed GL state, the default shader, the first camera and the first cleared frames.
#include "app/keyboard.h"
#include "app/present.h"
#include "app/window.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "render/render.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stdlib.h>

// Fills choice from the command line when it names a mode or full screen.
// Returns 1 when the dialog is not needed.
static int choiceFromRequest(DisplayChoice* choice, const WindowRequest* request, GLFWmonitor* monitor)
{
    if (request->width > 0 && request->height > 0) {
        choice->width = request->width;
        choice->height = request->height;
        choice->windowed = request->fullscreen ? 0 : 1;
        return 1;
    }
    if (!request->fullscreen) return 0;
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (mode) {
        choice->width = mode->width;
        choice->height = mode->height;
    }
    choice->windowed = 0;
    return 1;
}

static void clearFrame(void)
{
    glClearColor(0.0f, 0.22f, 0.26f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// A size the frame buffers cannot hold ends the program with exit code 1 and
// the reason (log and stderr): the memory budget is checked before the
// window is made, the GL limits as soon as its context exists.
static void endForUnfitSize(int width, int height, int contextMade)
{
    if (!refuseUnfitFrameSize(width, height, contextMade)) return;
    glfwTerminate();
    exit(1);
}

// Returns 1 with the window and context ready; 0 when GLFW failed or no
// window could be made (logged); -1 when the dialog was cancelled (no log
// line). Ends the program with exit code 1 for a size it cannot play
// (endForUnfitSize).
int initWindow(const WindowRequest* request)
{
    startLog();
    if (!glfwInit()) {
        const char* reason = windowSystemError();
        logMessage("ERROR: could not start GLFW3\n");
        if (reason) logMessage("ERROR: GLFW: %s\n", reason);
        return 0;
    }
    DisplayChoice choice = {0, 0, 32, 1};
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    if (monitor) glfwGetVideoMode(monitor);
    choice.width = 1280;
    choice.height = 720;
    if (!choiceFromRequest(&choice, request, monitor) && runModeDialog(&choice) == 0) return -1;
    windowWidth = choice.width;
    windowHeight = choice.height;
    endForUnfitSize(windowWidth, windowHeight, 0);

    if (!openMainWindow(windowWidth, windowHeight, choice.windowed == 0, request->glDebug)) return 0;
    endForUnfitSize(windowWidth, windowHeight, 1);
    glfwSwapInterval(request->vsyncOff ? 0 : 1);
    glfwSetWindowSizeCallback(mainWindow, onWindowSize);
    glfwSetKeyCallback(mainWindow, onKey);
    logGLInfo();
    if (request->glDebug) startGLDebug();
    setGLDebugPhase("window set-up", -1);

    setFixedGLState();
    createDefaultShader();
    setCameraAspect(windowWidth, windowHeight);
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 500, 70);
    clearFrame();
    presentFrame(ClockNotRunning);
    clearFrame();
    presentFrame(ClockNotRunning);
    clearFrame();
    return 1;
}

// A zero size (minimised) keeps the previous aspect; the next real size restores it.
void onWindowSize(GLFWwindow*, int width, int height)
{
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    camera.dirty = 1;
    setCameraAspect(width, height);
}
