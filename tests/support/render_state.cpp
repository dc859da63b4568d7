// Test support: the engine's fixed GL state and an off-screen buffer.
#include "support/render_state.h"
#include "render/render_local.h"
#include <GL/glew.h>

void engineGLState(void)
{
    setFixedGLState();
    currentBlendMode = -100;
    setBlendMode(Opaque);
}

int useOffscreen(int width, int height)
{
    static GLuint framebuffer, colour, depth;
    if (!testGLContext(64, 64)) return 0;
    if (!framebuffer) {
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colour);
        glGenRenderbuffers(1, &depth);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return 0;
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    engineGLState();
    uniformQueue.count = 0;
    return 1;
}
