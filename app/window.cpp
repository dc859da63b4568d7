// The show's window: the display-mode choice (dialog or command line), the
// GLFW window and GL context, the GL report in the log, the fixed GL state,
// the default shader, the first camera and the first cleared frames.
#include "app/app.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "render/render.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>

// Fills choice from the command line when it names a mode or full screen.
// Returns 1 when the dialog is not needed.
static int choiceFromOptions(DisplayChoice* choice, GLFWmonitor* monitor)
{
    if (runOptions.width > 0 && runOptions.height > 0) {
        choice->width = runOptions.width;
        choice->height = runOptions.height;
        choice->windowed = runOptions.fullscreen ? 0 : 1;
        return 1;
    }
    if (!runOptions.fullscreen) return 0;
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

// Returns 1 with the window and context ready; 0 when GLFW failed, the dialog
// was cancelled (no log line) or no window could be made (logged).
int initWindow(void)
{
    startLog();
    if (!glfwInit()) {
        logMessage("ERROR: could not start GLFW3\n");
        return 0;
    }
    DisplayChoice choice = {0, 0, 32, 1};
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    if (monitor) glfwGetVideoMode(monitor);
    choice.width = 1280;
    choice.height = 720;
    if (!choiceFromOptions(&choice, monitor) && runModeDialog(&choice) == 0) return 0;
    windowWidth = choice.width;
    windowHeight = choice.height;
    fullscreen = choice.windowed == 0 ? 1 : 0;

    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    if (runOptions.glDebug) glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, GLFW_TRUE);
    mainWindow = glfwCreateWindow(windowWidth, windowHeight,
                                  fullscreen ? "Fullscreen, yay!" : "KESTREL Engine V.0.1",
                                  fullscreen ? monitor : nullptr, nullptr);
    if (!mainWindow) {
        logMessage("ERROR: could not open window with GLFW3\n");
        glfwTerminate();
        return 0;
    }
    glfwMakeContextCurrent(mainWindow);
    glfwSetWindowSizeCallback(mainWindow, onWindowSize);
    glfwSetKeyCallback(mainWindow, onKey);
    // Sticky keys: an Escape pressed and released between two polls still reads as pressed.
    glfwSetInputMode(mainWindow, GLFW_STICKY_KEYS, GLFW_TRUE);
    glewExperimental = GL_TRUE;
    glewInit();
    logGLInfo();
    if (runOptions.glDebug) startGLDebug();
    setGLDebugPhase("window set-up", -1);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
    createDefaultShader();
    setCameraAspect(windowWidth, windowHeight);
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 500, 70);
    clearFrame();
    presentFrame();
    clearFrame();
    presentFrame();
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

static void logLimit(const char* name, GLenum limit)
{
    GLint value = 0;
    glGetIntegerv(limit, &value);
    logMessage("%s %i\n", name, value);
}

void logGLInfo(void)
{
    static const struct { const char* name; GLenum limit; } limits[10] = {
        {"GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS", GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS},
        {"GL_MAX_CUBE_MAP_TEXTURE_SIZE", GL_MAX_CUBE_MAP_TEXTURE_SIZE},
        {"GL_MAX_DRAW_BUFFERS", GL_MAX_DRAW_BUFFERS},
        {"GL_MAX_FRAGMENT_UNIFORM_COMPONENTS", GL_MAX_FRAGMENT_UNIFORM_COMPONENTS},
        {"GL_MAX_TEXTURE_IMAGE_UNITS", GL_MAX_TEXTURE_IMAGE_UNITS},
        {"GL_MAX_TEXTURE_SIZE", GL_MAX_TEXTURE_SIZE},
        {"GL_MAX_VARYING_FLOATS", GL_MAX_VARYING_FLOATS},
        {"GL_MAX_VERTEX_ATTRIBS", GL_MAX_VERTEX_ATTRIBS},
        {"GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS", GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS},
        {"GL_MAX_VERTEX_UNIFORM_COMPONENTS", GL_MAX_VERTEX_UNIFORM_COMPONENTS},
    };
    const GLubyte* renderer = glGetString(GL_RENDERER);
    const GLubyte* version = glGetString(GL_VERSION);
    logMessage("Renderer: %s\n", renderer ? (const char*)renderer : "(unknown)");
    logMessage("OpenGL version supported %s\n", version ? (const char*)version : "(unknown)");
    logMessage(" --------------------------------------------------\n");
    logMessage("GL Context Params:\n");
    for (int i = 0; i < 10; i++) logLimit(limits[i].name, limits[i].limit);
    GLint dims[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
    logMessage("%s %i %i\n", "GL_MAX_VIEWPORT_DIMS", dims[0], dims[1]);
    GLboolean stereo = 0;
    glGetBooleanv(GL_STEREO, &stereo);
    logMessage("%s %u\n", "GL_STEREO", (unsigned)stereo);
    logMessage(" --------------------------------------------------\n");
    while (glGetError() != GL_NO_ERROR) {}   // unsupported queries leave errors behind
}
