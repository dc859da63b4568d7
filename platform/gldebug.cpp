// GL error accounting for --gl-debug: a KHR_debug (or ARB_debug_output)
// callback that counts and logs every GL error where it happens, or, on a
// context without either, glGetError drained at every checkpoint. Each error
// is logged with the GL's own source and text and the phase the program was in.
#include "platform/platform.h"
#include <GL/glew.h>
#include <stdio.h>

static int debugOn;             // --gl-debug asked for and started
static int callbackInstalled;   // 1: errors arrive through the callback
static long errorCount;
static const char* phaseName = "start-up";
static int phaseNumber = -1;

static const char* sourceText(GLenum source)
{
    switch (source) {
    case GL_DEBUG_SOURCE_API: return "API";
    case GL_DEBUG_SOURCE_WINDOW_SYSTEM: return "window system";
    case GL_DEBUG_SOURCE_SHADER_COMPILER: return "shader compiler";
    case GL_DEBUG_SOURCE_THIRD_PARTY: return "third party";
    case GL_DEBUG_SOURCE_APPLICATION: return "application";
    default: return "other";
    }
}

static const char* errorText(GLenum error)
{
    switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "unknown GL error";
    }
}

// Writes the phase ("scene 4", "loading") into text.
static void phaseText(char* text, size_t size)
{
    if (phaseNumber >= 0)
        snprintf(text, size, "%s %d", phaseName, phaseNumber);
    else
        snprintf(text, size, "%s", phaseName);
}

// Errors (and undefined behaviour) of GL calls are counted and logged; the
// driver's other chatter (performance hints) is not, and neither are the
// shader compiler's messages: a source that does not compile is no GL error
// (glGetError stays clean) and the program's compile check logs it already.
static void GLAPIENTRY onDebugMessage(GLenum source, GLenum type, GLuint id, GLenum, GLsizei, const GLchar* message,
                                      const void*)
{
    if (type != GL_DEBUG_TYPE_ERROR && type != GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR) return;
    if (source == GL_DEBUG_SOURCE_SHADER_COMPILER) return;
    errorCount++;
    char phase[64];
    phaseText(phase, sizeof phase);
    logMessage("GL error %ld (%s, id 0x%x, during %s): %s\n", errorCount, sourceText(source), id, phase,
               message ? message : "");
}

void startGLDebug(void)
{
    debugOn = 1;
    errorCount = 0;
    while (glGetError() != GL_NO_ERROR) {}   // what the start-up queries left behind
    if ((GLEW_VERSION_4_3 || GLEW_KHR_debug) && glDebugMessageCallback) {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);   // the callback runs inside the failing call
        glDebugMessageCallback(onDebugMessage, nullptr);
        glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_TRUE);
        callbackInstalled = 1;
    } else if (GLEW_ARB_debug_output && glDebugMessageCallbackARB) {
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
        glDebugMessageCallbackARB(onDebugMessage, nullptr);
        glDebugMessageControlARB(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_TRUE);
        callbackInstalled = 1;
    }
    logMessage("GL debug: errors are %s\n",
               callbackInstalled ? "reported by the debug-output callback" : "read with glGetError after every pass");
}

void setGLDebugPhase(const char* name, int number)
{
    phaseName = name;
    phaseNumber = number;
}

int checkGLErrors(void)
{
    if (!debugOn) return 0;
    int found = 0;
    for (GLenum error; (error = glGetError()) != GL_NO_ERROR && found < 64; found++) {
        if (callbackInstalled) continue;   // already counted and logged by the callback
        errorCount++;
        char phase[64];
        phaseText(phase, sizeof phase);
        logMessage("GL error %ld (glGetError, during %s): %s\n", errorCount, phase, errorText(error));
    }
    return callbackInstalled ? 0 : found;
}

long glErrorCount(void) { return errorCount; }

void logGLDebugSummary(void)
{
    if (!debugOn) return;
    checkGLErrors();
    logMessage("GL debug: %ld GL errors\n", errorCount);
}
