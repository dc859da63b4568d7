// The framebuffer bindings of the saved GL state: drawing and reading apart.
#include "render/render_local.h"
#include <GL/glew.h>

void saveFramebufferBindings(SavedGLState* s)
{
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s->framebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &s->readFramebuffer);
}

void restoreFramebufferBindings(const SavedGLState* s)
{
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, (GLuint)s->framebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, (GLuint)s->readFramebuffer);
}
