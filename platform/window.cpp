// The show's window and its GL context: made with GLFW on the primary monitor
// or as a window, the GL entry points loaded with GLEW, and the report of the
// context's limits in the log.
#include "platform/platform.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>

// ---- state: the one window -------------------------------------------------------
GLFWwindow* mainWindow;
int fullscreen;   // 1 when the window was made on the monitor

// The window's place before it went full screen; the size at creation when
// it was made on the monitor.
static int windowedX = 64, windowedY = 64, windowedWidth, windowedHeight;
// The framebuffer's size as the window's events last gave it: asking the X
// server costs a round trip (about 0.2 ms) each time, and a frame asks often.
// sizedWindow is the window they belong to (asked once, then followed).
static GLFWwindow* sizedWindow;
static int framebufferWidth, framebufferHeight;

static void onFramebufferSize(GLFWwindow*, int width, int height)
{
    framebufferWidth = width;
    framebufferHeight = height;
}

// Returns 1 with the window made and its context current, 0 (logged, GLFW
// terminated) when no window could be made.
int openMainWindow(int width, int height, int onMonitor, int debugContext)
{
    fullscreen = onMonitor ? 1 : 0;
    windowedWidth = width;
    windowedHeight = height;
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    if (debugContext) glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, GLFW_TRUE);
    mainWindow = glfwCreateWindow(width, height, fullscreen ? "Fullscreen, yay!" : "KESTREL Engine V.0.1",
                                  fullscreen ? glfwGetPrimaryMonitor() : nullptr, nullptr);
    if (!mainWindow) {
        logMessage("ERROR: could not open window with GLFW3\n");
        glfwTerminate();
        return 0;
    }
    glfwMakeContextCurrent(mainWindow);
    // Sticky keys: an Escape pressed and released between two polls still reads as pressed.
    glfwSetInputMode(mainWindow, GLFW_STICKY_KEYS, GLFW_TRUE);
    glewExperimental = GL_TRUE;
    glewInit();
    return 1;
}

int setWindowFullscreen(int on)
{
    if (!mainWindow || on == fullscreen) return 0;
    if (on) {
        GLFWmonitor* monitor = glfwGetPrimaryMonitor();
        const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
        if (!mode) return 0;
        glfwGetWindowPos(mainWindow, &windowedX, &windowedY);
        glfwGetWindowSize(mainWindow, &windowedWidth, &windowedHeight);
        glfwSetWindowMonitor(mainWindow, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
    } else {
        glfwSetWindowMonitor(mainWindow, nullptr, windowedX, windowedY, windowedWidth, windowedHeight, GLFW_DONT_CARE);
    }
    fullscreen = on;
    return 1;
}

int windowFramebufferSize(int* width, int* height)
{
    if (mainWindow && mainWindow != sizedWindow) {
        sizedWindow = mainWindow;
        glfwGetFramebufferSize(mainWindow, &framebufferWidth, &framebufferHeight);
        glfwSetFramebufferSizeCallback(mainWindow, onFramebufferSize);
    }
    *width = mainWindow ? framebufferWidth : 0;
    *height = mainWindow ? framebufferHeight : 0;
    return *width > 0 && *height > 0;
}

static void logLimit(const char* name, GLenum limit)
{
    GLint value = 0;
    glGetIntegerv(limit, &value);
    logMessage("%s %i\n", name, value);
}

void logGLInfo(void)
{
    static const struct {
        const char* name;
        GLenum limit;
    } limits[10] = {
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
