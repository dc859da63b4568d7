// The framebuffer binding of the saved GL state in WebGL 1: one binding
// serves drawing and reading (kept in both fields).
#include "render/render_local.h"
#include <GL/glew.h>

void saveFramebufferBindings(SavedGLState* s)
{
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &s->framebuffer);
    s->readFramebuffer = s->framebuffer;
}

void restoreFramebufferBindings(const SavedGLState* s) { glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)s->framebuffer); }
