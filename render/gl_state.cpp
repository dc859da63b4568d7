// The engine's fixed GL state, set once a context exists, and setting the
// state a pass changes aside so that the engine finds it as it left it.
#include "render/render_local.h"
#include <GL/glew.h>

void setFixedGLState(void)
{
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
}

int beginFarPlaneDraws(void)
{
    GLboolean depthWrites = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    return depthWrites;
}

void endFarPlaneDraws(int depthWrites)
{
    glDepthMask(depthWrites ? GL_TRUE : GL_FALSE);
    glDepthFunc(GL_LESS);
}

void saveGLState(SavedGLState* s)
{
    glGetIntegerv(GL_CURRENT_PROGRAM, &s->program);
    saveFramebufferBindings(s);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s->activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s->texture);
    glGetIntegerv(GL_VIEWPORT, s->viewport);
    glGetIntegerv(GL_BLEND_SRC_RGB, &s->blendSrcRgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &s->blendDstRgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s->blendSrcAlpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s->blendDstAlpha);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s->arrayBuffer);
    glGetFloatv(GL_BLEND_COLOR, s->blendColor);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, s->clearColor);
    GLboolean depthMask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    s->depthMask = depthMask;
    s->depthTest = glIsEnabled(GL_DEPTH_TEST);
    s->cullFace = glIsEnabled(GL_CULL_FACE);
    s->blend = glIsEnabled(GL_BLEND);
    s->scissor = glIsEnabled(GL_SCISSOR_TEST);
}

static void setEnabled(GLenum cap, int on)
{
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

void restoreGLState(const SavedGLState* s)
{
    glUseProgram((GLuint)s->program);
    restoreFramebufferBindings(s);
    glActiveTexture(GL_TEXTURE0);   // the saved texture is unit 0's, whichever unit the pass left active
    glBindTexture(GL_TEXTURE_2D, (GLuint)s->texture);
    glActiveTexture((GLenum)s->activeTexture);
    glViewport(s->viewport[0], s->viewport[1], s->viewport[2], s->viewport[3]);
    glBlendFuncSeparate((GLenum)s->blendSrcRgb, (GLenum)s->blendDstRgb, (GLenum)s->blendSrcAlpha,
                        (GLenum)s->blendDstAlpha);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)s->arrayBuffer);
    glBlendColor(s->blendColor[0], s->blendColor[1], s->blendColor[2], s->blendColor[3]);
    glClearColor(s->clearColor[0], s->clearColor[1], s->clearColor[2], s->clearColor[3]);
    glDepthMask((GLboolean)s->depthMask);
    setEnabled(GL_DEPTH_TEST, s->depthTest);
    setEnabled(GL_CULL_FACE, s->cullFace);
    setEnabled(GL_BLEND, s->blend);
    setEnabled(GL_SCISSOR_TEST, s->scissor);
}

void setVertexArraysAside(SavedVertexArrays* s)
{
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &s->elementBuffer);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s->arrayBuffer);
    for (int i = 0; i < SavedAttributeArrays; i++) {
        glGetVertexAttribiv((GLuint)i, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &s->enabled[i]);
        glDisableVertexAttribArray((GLuint)i);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void restoreVertexArrays(const SavedVertexArrays* s)
{
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)s->arrayBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, (GLuint)s->elementBuffer);
    for (int i = 0; i < SavedAttributeArrays; i++)
        if (s->enabled[i]) glEnableVertexAttribArray((GLuint)i);
}
