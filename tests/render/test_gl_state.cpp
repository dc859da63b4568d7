// The engine's GL state: the fixed state start-up sets, and setting a pass's
// state aside and back, read back from the GL itself.
#include "render/render.h"
#include "support/render_state.h"
#include <GL/glew.h>
#include <gtest/gtest.h>

static GLint integer(GLenum name)
{
    GLint value[4] = {0, 0, 0, 0};
    glGetIntegerv(name, value);
    return value[0];
}

TEST(FixedGLState, DepthLessBackFacesCulledClockwiseFrontsBlending)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display";
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glFrontFace(GL_CCW);
    glDisable(GL_BLEND);
    setFixedGLState();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_EQ(integer(GL_FRONT_FACE), GL_CW);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

// A state unlike the defaults in every saved field, so a field that is not
// put back shows.
struct EngineObjects {
    GLuint framebuffer, colour, texture, buffer;
};

static EngineObjects makeEngineState(void)
{
    EngineObjects s;
    glGenFramebuffers(1, &s.framebuffer);
    glGenRenderbuffers(1, &s.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, s.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 8, 8);
    glBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, s.colour);
    glGenTextures(1, &s.texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glActiveTexture(GL_TEXTURE2);
    glGenBuffers(1, &s.buffer);
    glBindBuffer(GL_ARRAY_BUFFER, s.buffer);
    glViewport(3, 4, 20, 30);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_ZERO, GL_DST_ALPHA);
    glBlendColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClearColor(0.125f, 0.25f, 0.375f, 0.5f);
    glDepthMask(GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    return s;
}

// What a pass does: every saved field changed the other way.
static void changeEverything(void)
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE5);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glViewport(0, 0, 64, 64);
    glBlendFunc(GL_ONE, GL_ZERO);
    glBlendColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glDepthMask(GL_TRUE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
}

TEST(SavedGLState, RestoreBringsBackWhatWasSaved)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display";
    EngineObjects s = makeEngineState();
    SavedGLState saved;
    saveGLState(&saved);
    EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE0);   // saving reads unit 0's texture from unit 0
    changeEverything();
    restoreGLState(&saved);

    EXPECT_EQ(integer(GL_DRAW_FRAMEBUFFER_BINDING), (GLint)s.framebuffer);
    EXPECT_EQ(integer(GL_READ_FRAMEBUFFER_BINDING), (GLint)s.framebuffer);
    EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), (GLint)s.texture);
    EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), (GLint)s.buffer);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 3);
    EXPECT_EQ(viewport[1], 4);
    EXPECT_EQ(viewport[2], 20);
    EXPECT_EQ(viewport[3], 30);
    EXPECT_EQ(integer(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST_RGB), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_SRC_ALPHA), GL_ZERO);
    EXPECT_EQ(integer(GL_BLEND_DST_ALPHA), GL_DST_ALPHA);
    GLfloat colour[4];
    glGetFloatv(GL_BLEND_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[1], 0.5f);
    EXPECT_FLOAT_EQ(colour[2], 0.75f);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.125f);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);
    GLboolean depthMask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    EXPECT_EQ(depthMask, GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &s.framebuffer);
    glDeleteRenderbuffers(1, &s.colour);
    glDeleteTextures(1, &s.texture);
    glDeleteBuffers(1, &s.buffer);
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glViewport(0, 0, 64, 64);
}

TEST(SavedGLState, VertexArraysAreSetAsideAndComeBack)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display";
    GLuint buffers[2];
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(SavedAttributeArrays - 1);
    SavedVertexArrays arrays;
    setVertexArraysAside(&arrays);
    // Aside: nothing bound, no generic array enabled.
    EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), 0);
    EXPECT_EQ(integer(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0);
    for (int i = 0; i < SavedAttributeArrays; i++) {
        GLint on = -1;
        glGetVertexAttribiv((GLuint)i, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &on);
        EXPECT_EQ(on, 0) << "array " << i;
    }
    restoreVertexArrays(&arrays);
    EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), (GLint)buffers[0]);
    EXPECT_EQ(integer(GL_ELEMENT_ARRAY_BUFFER_BINDING), (GLint)buffers[1]);
    for (int i = 0; i < SavedAttributeArrays; i++) {
        GLint on = -1;
        glGetVertexAttribiv((GLuint)i, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &on);
        EXPECT_EQ(on, i == 1 || i == SavedAttributeArrays - 1) << "array " << i;
    }
    glDisableVertexAttribArray(1);
    glDisableVertexAttribArray(SavedAttributeArrays - 1);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDeleteBuffers(2, buffers);
}
