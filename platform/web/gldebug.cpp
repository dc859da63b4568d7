// GL error accounting for --gl-debug (?gldebug) in the browser build: WebGL
// has no debug-output callback, so errors are drained with glGetError at
// every checkpoint, counted and logged with the phase the program was in.
#include "platform/platform.h"
#include <GL/glew.h>
#include <stdio.h>

// ---- state: the accounting ----------------------------------------------------------
static int debugOn;   // --gl-debug asked for and started
static long errorCount;
static const char* phaseName = "start-up";
static int phaseNumber = -1;

static const char* errorText(GLenum error)
{
    switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "unknown GL error";
    }
}

void startGLDebug(void)
{
    debugOn = 1;
    errorCount = 0;
    while (glGetError() != GL_NO_ERROR) {}   // what the start-up queries left behind
    logMessage("GL debug: errors are read with glGetError after every pass\n");
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
        errorCount++;
        if (phaseNumber >= 0)
            logMessage("GL error %ld (glGetError, during %s %d): %s\n", errorCount, phaseName, phaseNumber,
                       errorText(error));
        else
            logMessage("GL error %ld (glGetError, during %s): %s\n", errorCount, phaseName, errorText(error));
    }
    return found;
}

long glErrorCount(void) { return errorCount; }

void logGLDebugSummary(void)
{
    if (!debugOn) return;
    checkGLErrors();
    logMessage("GL debug: %ld GL errors\n", errorCount);
}
